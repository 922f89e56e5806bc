#include "tasks/readidtask.h"

#include "device/deviceinfo.h"
#include "link/logging.h"

ReadIDTask::ReadIDTask(CommandTarget *device, QObject *parent)
    : DeviceTask(device, QStringLiteral("Read ID"), kCommand, kTimeoutMs, Silent, parent)
{
}

bool ReadIDTask::sendRequest()
{
    send(kCommand);
    return true;
}

int ReadIDTask::processData(const QByteArray &data)
{
    if (data.size() < kMinReplyBytes || quint8(data.at(0)) != kCommand) {
        setResultData(QVariant::fromValue(DeviceInfo(QByteArray())));
        return TaskResult::Error;
    }
    VLOG << "ID size:" << data.size();
    const DeviceInfo info(data.mid(1));
    VLOG << info;
    setResultData(QVariant::fromValue(info));
    return TaskResult::Successful;
}
