#pragma once

#include "tasks/devicetask.h"

// Command 0x32: replaces the device password; the device checks the old one.
class ChangePasswordTask : public DeviceTask
{
    Q_OBJECT
public:
    ChangePasswordTask(CommandTarget *device, const QString &oldPassword, const QString &newPassword,
                       QObject *parent = nullptr);

    static constexpr quint8 kCommand = 0x32;
    static constexpr int kTimeoutMs = 3000;
    static constexpr const char *kOldPasswordKey = "old_password";
    static constexpr const char *kNewPasswordKey = "new_password";

    // The whole request, or an empty array (and the reason in why) when either password is too
    // long for its length byte.
    QByteArray request(QString *why = nullptr) const;
    int processData(const QByteArray &data) override;

protected:
    bool sendRequest() override;

private:
    QString m_oldPassword;
    QString m_newPassword;
};
