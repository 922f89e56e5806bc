#pragma once

#include "tasks/devicetask.h"

// Command 0x23: sets the aggregated dose and its accumulation time, protected by the password.
class SetAggregateDoseTask : public DeviceTask
{
    Q_OBJECT
public:
    SetAggregateDoseTask(CommandTarget *device, double dose, uint time, const QString &password,
                         QObject *parent = nullptr);

    static constexpr quint8 kCommand = 0x23;
    static constexpr int kTimeoutMs = 3000;
    static constexpr const char *kValueKey = "value";
    static constexpr const char *kTimeKey = "time";
    static constexpr const char *kPasswordKey = "password";

    // The whole request, or an empty array when the dose is not a number or its hundredfold value
    // leaves the 64-bit field, or the password is too long for its length byte.
    QByteArray request(QString *why = nullptr) const;
    int processData(const QByteArray &data) override;

protected:
    bool sendRequest() override;

private:
    double m_dose;
    uint m_time;
    QString m_password;
};
