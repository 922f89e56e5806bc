#include "tasks/setaggregatedosetask.h"

#include <QtEndian>
#include <limits>

SetAggregateDoseTask::SetAggregateDoseTask(CommandTarget *device, double dose, uint time,
                                           const QString &password, QObject *parent)
    : DeviceTask(device, QStringLiteral("Set aggregate dose"), kCommand, kTimeoutMs, Silent, parent)
    , m_dose(dose)
    , m_time(time)
    , m_password(password)
{
}

QByteArray SetAggregateDoseTask::request(QString *why) const
{
    qint64 hundredths = 0;
    if (!toHundredths(m_dose, std::numeric_limits<qint64>::min(),
                      std::numeric_limits<qint64>::max(), &hundredths)) {
        if (why) {
            // The field holds the dose in hundredths as a signed 64-bit number.
            *why = tr("the dose %1 is out of range; the device takes %2 to %3")
                       .arg(QString::number(m_dose, 'g', 17),
                            QStringLiteral("-92233720368547758.08"),
                            QStringLiteral("92233720368547758.07"));
        }
        return QByteArray();
    }
    QByteArray password;
    if (!passwordField(m_password, &password)) {
        if (why)
            *why = passwordTooLong(m_password);
        return QByteArray();
    }
    QByteArray message;
    message.append(char(kCommand));
    message.append(password.at(0));
    char dose[8];
    qToBigEndian<qint64>(hundredths, dose);
    message.append(dose, 8);
    char time[4];
    qToBigEndian<quint32>(m_time, time);
    message.append(time, 4);
    message.append(password.mid(1));
    return message;
}

bool SetAggregateDoseTask::sendRequest()
{
    reportProgress(tr("Setting aggregate dose"), -1);
    QString why;
    const QByteArray message = request(&why);
    if (message.isEmpty())
        return refuse(false, why);
    sendMessage(message);
    return true;
}

int SetAggregateDoseTask::processData(const QByteArray &data)
{
    return acceptanceReply(data, kCommand);
}
