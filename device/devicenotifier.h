#pragma once

#include <QObject>
#include <QStringList>

class INotifier;

// The application's view of device discovery: owns the platform notifier and re-emits its two
// signals. Names are what the serial port opens (a device node or an attached simulator's link).
class DeviceNotifier : public QObject
{
    Q_OBJECT
public:
    explicit DeviceNotifier(QObject *parent = nullptr);
    // Takes ownership of notifier, which must also be a QObject with the two signals.
    DeviceNotifier(INotifier *notifier, QObject *parent);
    ~DeviceNotifier() override;

    void addAllowedDevice(quint16 vid, quint16 pid);
    void startNotify();
    void stopNotify();
    QStringList enumerateDevices();

signals:
    void deviceInserted(const QString &name);
    void deviceRemoved(const QString &name);

private:
    INotifier *m_notifier = nullptr;
};

namespace varno {
// The notifier of the platform we are built for (notifier_udev.cpp on Linux).
INotifier *createPlatformNotifier();
}
