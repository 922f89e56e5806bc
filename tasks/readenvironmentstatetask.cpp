#include "tasks/readenvironmentstatetask.h"

#include "device/environmentstate.h"

ReadEnvironmentStateTask::ReadEnvironmentStateTask(CommandTarget *device, QObject *parent)
    : DeviceTask(device, QStringLiteral("Environment state"), kCommand, kTimeoutMs, Silent, parent)
{
}

bool ReadEnvironmentStateTask::sendRequest()
{
    send(kCommand);
    return true;
}

int ReadEnvironmentStateTask::processData(const QByteArray &data)
{
    EnvironmentState state;
    if (!EnvironmentState::fromReply(data, &state)) {
        setResultData(QVariant());
        return TaskResult::Error;
    }
    setResultData(QVariant::fromValue(state));
    return TaskResult::Successful;
}
