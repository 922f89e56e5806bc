#include "device/inotifier.h"

#include <QDir>
#include <QStandardPaths>

QString varno::allowedDevicePattern(quint16 vid, quint16 pid)
{
    return QStringLiteral("Vid_%1&Pid_%2")
            .arg(vid, 4, 16, QLatin1Char('0'))
            .arg(pid, 4, 16, QLatin1Char('0'));
}

bool varno::isAllowedDevice(const QString &name, const QVector<AllowedDeviceId> &allowed)
{
    for (const AllowedDeviceId &id : allowed) {
        if (name.contains(allowedDevicePattern(id.vid, id.pid), Qt::CaseInsensitive))
            return true;
    }
    return false;
}

QString varno::attachedDevicesDir()
{
    // Same choice as varno-devsim --attach makes, or the two would never meet.
    QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (runtime.isEmpty())
        runtime = QDir::tempPath();
    return runtime + QStringLiteral("/varno-devices");
}

QString varno::attachedDeviceLinkName(qint64 processId, quint16 vid, quint16 pid)
{
    return QStringLiteral("devsim-%1-").arg(processId) + allowedDevicePattern(vid, pid);
}
