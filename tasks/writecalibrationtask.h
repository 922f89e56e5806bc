#pragma once

#include "tasks/devicetask.h"

#include <QVariant>

// Command 0x31: a new calibration coefficient, protected by the device password.
class WriteCalibrationTask : public DeviceTask
{
    Q_OBJECT
public:
    WriteCalibrationTask(CommandTarget *device, const QVariant &coefficient, const QString &password,
                         QObject *parent = nullptr);

    static constexpr quint8 kCommand = 0x31;
    static constexpr int kTimeoutMs = 3000;
    static constexpr const char *kCoefficientKey = "coefficient";
    static constexpr const char *kPasswordKey = "password";

    // The device keeps the coefficient as an unsigned 16-bit count of hundredths.
    static constexpr qint64 kMaxHundredths = 65535;
    // True for 0.00 to 655.35: what the field can carry (hundredths beyond the second are dropped).
    static bool isCoefficientInRange(double coefficient);

    // The whole request, or an empty array when it cannot be sent: a coefficient that is not a
    // number or lies outside 0.00 to 655.35 is refused rather than wrapped into some other
    // calibration, and so is a password too long for its length byte.
    QByteArray request(QString *why = nullptr) const;
    int processData(const QByteArray &data) override;

protected:
    bool sendRequest() override;

private:
    QVariant m_coefficient;
    QString m_password;
};
