#pragma once

#include <QString>
#include <QStringList>
#include <QVector>
#include <QtGlobal>

// One USB vendor/product pair the program accepts.
struct AllowedDeviceId
{
    quint16 vid = 0;
    quint16 pid = 0;
};

// The platform side of device discovery. An implementation must also be a QObject declaring the
// signals deviceInserted(QString) and deviceRemoved(QString): DeviceNotifier reaches them by
// casting the interface to QObject.
class INotifier
{
public:
    virtual ~INotifier() = default;
    virtual void startNotify() = 0;
    virtual void stopNotify() = 0;
    virtual QStringList enumerateDevices() = 0;
    virtual void addAllowedDevice(quint16 vid, quint16 pid) = 0;
};

namespace varno {

// "Vid_27e9&Pid_b403": how a device name carries its USB ids.
QString allowedDevicePattern(quint16 vid, quint16 pid);

// True when the name contains the pattern of any allowed pair, ignoring case.
bool isAllowedDevice(const QString &name, const QVector<AllowedDeviceId> &allowed);

// Folder in the user's runtime directory where an attached device simulator leaves a symbolic
// link to its pty; the notifier treats each link like a plugged-in monitor.
QString attachedDevicesDir();

// Name of the link a simulator running as processId creates in attachedDevicesDir():
// "devsim-<pid>-Vid_27e9&Pid_b403".
QString attachedDeviceLinkName(qint64 processId, quint16 vid = 0x27E9, quint16 pid = 0xB403);

} // namespace varno
