#pragma once

#include "tasks/devicetask.h"

// Command 0x03: the device's power and counters.
class ReadStateTask : public DeviceTask
{
    Q_OBJECT
public:
    explicit ReadStateTask(CommandTarget *device, QObject *parent = nullptr);

    static constexpr quint8 kCommand = 0x03;
    static constexpr int kTimeoutMs = 2000;

    int processData(const QByteArray &data) override;

protected:
    bool sendRequest() override;
};
