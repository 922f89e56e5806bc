#pragma once

#include "tasks/devicetask.h"

#include <QVariantList>

// Command 0x40: the device's file list, one 20-byte descriptor per file.
class FilesListTask : public DeviceTask
{
    Q_OBJECT
public:
    explicit FilesListTask(CommandTarget *device, QObject *parent = nullptr);

    static constexpr quint8 kCommand = 0x40;
    static constexpr int kTimeoutMs = 5000;
    static constexpr int kHeaderBytes = 2; // code and count

    int processData(const QByteArray &data) override;

protected:
    bool sendRequest() override;

private:
    QVariantList m_files;
};
