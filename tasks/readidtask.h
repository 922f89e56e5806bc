#pragma once

#include "tasks/devicetask.h"

// Command 0x00: the device's identity record.
class ReadIDTask : public DeviceTask
{
    Q_OBJECT
public:
    explicit ReadIDTask(CommandTarget *device, QObject *parent = nullptr);

    static constexpr quint8 kCommand = 0x00;
    static constexpr int kTimeoutMs = 2000;
    static constexpr int kMinReplyBytes = 37;

    int processData(const QByteArray &data) override;

protected:
    bool sendRequest() override;
};
