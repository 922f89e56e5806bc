#pragma once

#include "tasks/devicetask.h"

// Command 0x30: the calibration coefficient, in hundredths on the wire.
class ReadCalibrationTask : public DeviceTask
{
    Q_OBJECT
public:
    explicit ReadCalibrationTask(CommandTarget *device, QObject *parent = nullptr);

    static constexpr quint8 kCommand = 0x30;
    static constexpr int kTimeoutMs = 3000;
    static constexpr int kReplyBytes = 3;

    int processData(const QByteArray &data) override;

protected:
    bool sendRequest() override;
};
