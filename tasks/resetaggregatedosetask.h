#pragma once

#include "tasks/devicetask.h"

// Command 0x22: clears the aggregated dose, protected by the device password.
class ResetAggregateDoseTask : public DeviceTask
{
    Q_OBJECT
public:
    ResetAggregateDoseTask(CommandTarget *device, const QString &password, QObject *parent = nullptr);

    static constexpr quint8 kCommand = 0x22;
    static constexpr int kTimeoutMs = 3000;
    static constexpr const char *kPasswordKey = "password";

    // The whole request, or an empty array (and the reason in why) when the password is too long
    // for its length byte.
    QByteArray request(QString *why = nullptr) const;
    int processData(const QByteArray &data) override;

protected:
    bool sendRequest() override;

private:
    QString m_password;
};
