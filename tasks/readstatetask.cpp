#include "tasks/readstatetask.h"

#include "device/devicestate.h"

ReadStateTask::ReadStateTask(CommandTarget *device, QObject *parent)
    : DeviceTask(device, QStringLiteral("Read device state"), kCommand, kTimeoutMs, Silent, parent)
{
}

bool ReadStateTask::sendRequest()
{
    send(kCommand);
    return true;
}

int ReadStateTask::processData(const QByteArray &data)
{
    const DeviceState state = DeviceState::fromReply(data);
    setResultData(QVariant::fromValue(state));
    return state.isEmpty() ? TaskResult::Error : TaskResult::Successful;
}
