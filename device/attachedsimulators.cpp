#include "device/attachedsimulators.h"

#include "device/runtimefolder.h"

QString varno::allowedDevicePattern(quint16 vid, quint16 pid)
{
    return QStringLiteral("Vid_%1&Pid_%2")
        .arg(vid, 4, 16, QLatin1Char('0'))
        .arg(pid, 4, 16, QLatin1Char('0'));
}

QString varno::attachedDevicesDir()
{
    // varno-devsim --attach asks the same, or the two would never meet.
    const QString runtime = RuntimeFolder::path();
    return runtime.isEmpty() ? QString() : runtime + QStringLiteral("/varno-devices");
}

QString varno::attachedDeviceLinkName(qint64 processId, quint16 vid, quint16 pid)
{
    return QStringLiteral("devsim-%1-").arg(processId) + allowedDevicePattern(vid, pid);
}

bool varno::simulatorsRequested()
{
    return qgetenv("VARNO_SIMULATORS") == "1";
}
