#include "tasks/resetaggregatedosetask.h"

ResetAggregateDoseTask::ResetAggregateDoseTask(CommandTarget *device, const QString &password,
                                               QObject *parent)
    : DeviceTask(device, QStringLiteral("Reset aggregate"), kCommand, kTimeoutMs, Silent, parent)
    , m_password(password)
{
}

QByteArray ResetAggregateDoseTask::request(QString *why) const
{
    return passwordRequest(kCommand, QByteArray(), m_password, why);
}

bool ResetAggregateDoseTask::sendRequest()
{
    QString why;
    const QByteArray message = request(&why);
    return sendOrRefuse(tr("Reset aggregate dose"), message, why);
}

int ResetAggregateDoseTask::processData(const QByteArray &data)
{
    // Unlike the other protected commands, a malformed answer leaves the result unknown.
    return acceptanceReply(data, kCommand, QVariant());
}
