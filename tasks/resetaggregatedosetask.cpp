#include "tasks/resetaggregatedosetask.h"

ResetAggregateDoseTask::ResetAggregateDoseTask(CommandTarget *device, const QString &password,
                                               QObject *parent)
    : DeviceTask(device, QStringLiteral("Reset aggregate"), kCommand, kTimeoutMs, Silent, parent)
    , m_password(password)
{
}

QByteArray ResetAggregateDoseTask::request() const
{
    QByteArray message(1, char(kCommand));
    if (!passwordField(m_password, &message))
        return QByteArray();
    return message;
}

bool ResetAggregateDoseTask::sendRequest()
{
    reportProgress(tr("Reset aggregate dose"), -1);
    const QByteArray message = request();
    if (message.isEmpty())
        return refuse(false, passwordTooLong(m_password));
    sendMessage(message);
    return true;
}

int ResetAggregateDoseTask::processData(const QByteArray &data)
{
    if (data.size() != 2 || quint8(data.at(0)) != kCommand)
        return TaskResult::Error;
    setResultData(data.at(1) != 0);
    return TaskResult::Successful;
}
