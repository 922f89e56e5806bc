#pragma once

#include <QMap>
#include <QObject>
#include <QSet>
#include <QString>

class Device;

namespace Devices {
// The kind of device to create. USB insertions always ask for UsbMonitor; every value builds the
// same Device.
enum DeviceClass { UnknownDevice = 0, UsbMonitor = 1 };
} // namespace Devices

// The registry of the devices open now, keyed by the path the notifier reported. A device is
// announced only once its identity has been read, and deleted when unplugged or its link dies.
class DeviceManager : public QObject
{
    Q_OBJECT
public:
    enum Status { Pending = 0, Disabled = 2, NoStatus = 3 };

    static DeviceManager *instance();

    // Opens and registers a device; null when the port cannot be opened.
    static Device *createDevice(const QString &path, Devices::DeviceClass cls);
    // Unregister and delete one device, announcing its removal; both return null.
    static Device *removeDevice(Device *device);
    static Device *removeDevice(const QString &name);
    static bool hasDevice(const QString &name);
    static int deviceCount();

    Device *device(const QString &name) const { return m_devices.value(name); }
    int deviceStatus(const QString &name) const { return m_statuses.value(name, NoStatus); }

    // What the user is told when a monitor's port exists but cannot be opened: empty for errors that
    // need no explanation. holder names the process that keeps a busy port, when it is known.
    static QString openFailureText(const QString &path, int error, const QString &holder);

signals:
    void DeviceRemoved(const QString &name);
    void DeviceInserted(const QString &name);

protected slots:
    void OnDeviceData(int item);

public slots:
    void OnDead();
    void OnDeviceInserted(const QString &id);
    void OnDeviceRemoved(const QString &id);

private:
    DeviceManager() = default;
    ~DeviceManager() override = default;

    Device *create(const QString &path);
    Device *removeByName(const QString &name);
    Device *removeByPointer(Device *device);
    void watchIdentification(const QString &name);
    void reportOpenFailure(const QString &path, int error);
    void forgetFailure(const QString &path);

    QMap<QString, Device *> m_devices;
    QMap<QString, int> m_statuses;
    // Paths whose open failure the user has already been told about, so repeats stay quiet.
    QSet<QString> m_reportedFailures;
};
