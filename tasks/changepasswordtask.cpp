#include "tasks/changepasswordtask.h"

ChangePasswordTask::ChangePasswordTask(CommandTarget *device, const QString &oldPassword,
                                       const QString &newPassword, QObject *parent)
    : DeviceTask(device, QStringLiteral("Check password"), kCommand, kTimeoutMs, Silent, parent)
    , m_oldPassword(oldPassword)
    , m_newPassword(newPassword)
{
}

QByteArray ChangePasswordTask::request() const
{
    QByteArray oldField;
    QByteArray newField;
    if (!passwordField(m_oldPassword, &oldField) || !passwordField(m_newPassword, &newField))
        return QByteArray();
    QByteArray message;
    message.append(char(kCommand));
    message.append(oldField.at(0));
    message.append(newField.at(0));
    message.append(oldField.mid(1));
    message.append(newField.mid(1));
    return message;
}

bool ChangePasswordTask::sendRequest()
{
    reportProgress(tr("Changing password"), -1);
    const QByteArray message = request();
    if (message.isEmpty()) {
        const bool oldTooLong = !passwordField(m_oldPassword, nullptr);
        return refuse(false, passwordTooLong(oldTooLong ? m_oldPassword : m_newPassword));
    }
    sendMessage(message);
    return true;
}

int ChangePasswordTask::processData(const QByteArray &data)
{
    return acceptanceReply(data, kCommand);
}
