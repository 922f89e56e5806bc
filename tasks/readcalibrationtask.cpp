#include "tasks/readcalibrationtask.h"

#include <QtEndian>

ReadCalibrationTask::ReadCalibrationTask(CommandTarget *device, QObject *parent)
    : DeviceTask(device, QStringLiteral("Read calibration"), kCommand, kTimeoutMs, Silent, parent)
{
}

bool ReadCalibrationTask::sendRequest()
{
    reportProgress(tr("Reading calibration coefficient"), -1);
    send(kCommand);
    return true;
}

int ReadCalibrationTask::processData(const QByteArray &data)
{
    if (data.size() != kReplyBytes || quint8(data.at(0)) != kCommand)
        return TaskResult::Error;
    const quint16 hundredths = qFromBigEndian<quint16>(data.constData() + 1);
    setResultData(double(hundredths) / 100.0);
    return TaskResult::Successful;
}
