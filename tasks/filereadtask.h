#pragma once

#include "tasks/devicetask.h"
#include "tasks/filedescriptor.h"

// Command 0x41: copies one device file into a local folder.
class FileReadTask : public DeviceTask
{
    Q_OBJECT
public:
    FileReadTask(CommandTarget *device, const FileDescriptor &file, const QString &folder,
                 QObject *parent = nullptr);

    static constexpr quint8 kCommand = 0x41;
    static constexpr int kTimeoutMs = 5000;
    static constexpr int kHeaderBytes = 5;
    static constexpr const char *kFileDescriptorKey = "file_descriptor";
    static constexpr const char *kFilePathKey = "file_path";

    // The name comes from the device and is joined to a local folder: it must stay a plain name in
    // that folder (no separators, no "..", no control characters, not "." alone).
    static bool isSafeFileName(const QString &name);

    QByteArray request() const;
    int processData(const QByteArray &data) override;
    int expectedLength() const { return m_expectedLength; }

protected:
    bool sendRequest() override;
    void handleDataReceived(int bytes) override;

private:
    // Writes through a temporary file that replaces the target only when complete, so a failure
    // never leaves a half file behind. A failure sets the result message: the file, the folder
    // and the system's reason, so that a full disk is not taken for a device that sent nothing.
    bool save(const QByteArray &contents);

    FileDescriptor m_file;
    QString m_folder;
    int m_expectedLength = 0;
    int m_lastPercent = -1;
};
