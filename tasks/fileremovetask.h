#pragma once

#include "tasks/devicetask.h"
#include "tasks/filedescriptor.h"

// Command 0x43: deletes one file on the device.
class FileRemoveTask : public DeviceTask
{
    Q_OBJECT
public:
    FileRemoveTask(CommandTarget *device, const FileDescriptor &file, QObject *parent = nullptr);

    static constexpr quint8 kCommand = 0x43;
    static constexpr int kShortTimeoutMs = 3000;
    static constexpr int kLongTimeoutMs = 30000;
    static constexpr quint32 kShortTimeoutMaxBytes = 10240;
    static constexpr int kReplyBytes = 5;
    static constexpr const char *kFileDescriptorKey = "file_descriptor";

    int processData(const QByteArray &data) override;

protected:
    bool sendRequest() override;

private:
    FileDescriptor m_file;
};
