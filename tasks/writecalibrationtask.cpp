#include "tasks/writecalibrationtask.h"

#include <QtEndian>

WriteCalibrationTask::WriteCalibrationTask(CommandTarget *device, const QVariant &coefficient,
                                           const QString &password, QObject *parent)
    : DeviceTask(device, QStringLiteral("Write calibration"), kCommand, kTimeoutMs, Silent, parent)
    , m_coefficient(coefficient)
    , m_password(password)
{
}

bool WriteCalibrationTask::isCoefficientInRange(double coefficient)
{
    // A negative value would truncate to zero hundredths; it is refused, not sent as 0.00.
    return coefficient >= 0 && toHundredths(coefficient, 0, kMaxHundredths, nullptr);
}

QByteArray WriteCalibrationTask::request(QString *why) const
{
    bool ok = false;
    const double value = m_coefficient.toDouble(&ok);
    qint64 hundredths = 0;
    if (!ok || !isCoefficientInRange(value) || !toHundredths(value, 0, kMaxHundredths, &hundredths)) {
        if (why) {
            *why = tr("the coefficient %1 is out of range; the device takes %2 to %3")
                       .arg(m_coefficient.toString(), QStringLiteral("0.00"),
                            QString::number(kMaxHundredths / 100.0, 'f', 2));
        }
        return QByteArray();
    }
    char field[2];
    qToBigEndian<quint16>(quint16(hundredths), field);
    return passwordRequest(kCommand, QByteArray(field, 2), m_password, why);
}

bool WriteCalibrationTask::sendRequest()
{
    QString why;
    const QByteArray message = request(&why);
    return sendOrRefuse(tr("Writing new calibration"), message, why);
}

int WriteCalibrationTask::processData(const QByteArray &data)
{
    return acceptanceReply(data, kCommand);
}
