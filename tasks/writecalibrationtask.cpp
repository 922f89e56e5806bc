#include "tasks/writecalibrationtask.h"

#include <QtEndian>
#include <limits>

WriteCalibrationTask::WriteCalibrationTask(CommandTarget *device, const QVariant &coefficient,
                                           const QString &password, QObject *parent)
    : DeviceTask(device, QStringLiteral("Write calibration"), parent)
    , m_coefficient(coefficient)
    , m_password(password)
{
    setTimeout(kTimeoutMs);
    setDataId(kCommand);
    setSilent(true);
}

QByteArray WriteCalibrationTask::request(QString *why) const
{
    bool ok = false;
    const double value = m_coefficient.toDouble(&ok);
    qint64 hundredths = 0;
    if (!ok || !toHundredths(value, std::numeric_limits<qint16>::min(),
                             std::numeric_limits<qint16>::max(), &hundredths)) {
        if (why) {
            *why = tr("the coefficient %1 is out of range; the device takes %2 to %3")
                       .arg(m_coefficient.toString(),
                            QString::number(std::numeric_limits<qint16>::min() / 100.0, 'f', 2),
                            QString::number(std::numeric_limits<qint16>::max() / 100.0, 'f', 2));
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
    char field[2];
    qToBigEndian<qint16>(qint16(hundredths), field);
    message.append(field, 2);
    message.append(password.mid(1));
    return message;
}

bool WriteCalibrationTask::sendRequest()
{
    reportProgress(tr("Writing new calibration"), -1);
    QString why;
    const QByteArray message = request(&why);
    if (message.isEmpty())
        return refuse(false, why);
    sendMessage(message);
    return true;
}

int WriteCalibrationTask::processData(const QByteArray &data)
{
    return acceptanceReply(data, kCommand);
}
