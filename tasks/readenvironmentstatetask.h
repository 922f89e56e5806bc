#pragma once

#include "tasks/devicetask.h"

// Command 0x20: the two sensor readings, their average and the aggregated dose.
class ReadEnvironmentStateTask : public DeviceTask
{
    Q_OBJECT
public:
    explicit ReadEnvironmentStateTask(CommandTarget *device, QObject *parent = nullptr);

    static constexpr quint8 kCommand = 0x20;
    static constexpr int kTimeoutMs = 4000;

    int processData(const QByteArray &data) override;

protected:
    bool sendRequest() override;
};
