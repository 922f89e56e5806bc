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
    QByteArray fields(12, '\0');
    qToBigEndian<qint64>(hundredths, fields.data());
    qToBigEndian<quint32>(m_time, fields.data() + 8);
    return passwordRequest(kCommand, fields, m_password, why);
}

bool SetAggregateDoseTask::sendRequest()
{
    QString why;
    const QByteArray message = request(&why);
    return sendOrRefuse(tr("Setting aggregate dose"), message, why);
}

int SetAggregateDoseTask::processData(const QByteArray &data)
{
    return acceptanceReply(data, kCommand);
}
