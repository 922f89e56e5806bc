#include "tasks/changepasswordtask.h"

ChangePasswordTask::ChangePasswordTask(CommandTarget *device, const QString &oldPassword,
                                       const QString &newPassword, QObject *parent)
    : DeviceTask(device, QStringLiteral("Check password"), kCommand, kTimeoutMs, Silent, parent)
    , m_oldPassword(oldPassword)
    , m_newPassword(newPassword)
{
}

QByteArray ChangePasswordTask::request(QString *why) const
{
    QByteArray oldField;
    QByteArray newField;
    const bool oldFits = passwordField(m_oldPassword, &oldField);
    if (!oldFits || !passwordField(m_newPassword, &newField)) {
        if (why)
            *why = passwordTooLong(oldFits ? m_newPassword : m_oldPassword);
        return QByteArray();
    }
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
    QString why;
    const QByteArray message = request(&why);
    return sendOrRefuse(tr("Changing password"), message, why);
}

int ChangePasswordTask::processData(const QByteArray &data)
{
    return acceptanceReply(data, kCommand);
}
