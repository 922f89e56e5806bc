#pragma once

#include "device/inotifier.h"

#include <QHash>
#include <QMultiHash>
#include <QObject>
#include <QSet>

#include <memory>

class QFileSystemWatcher;
class QSocketNotifier;
class QTimer;
struct udev;
struct udev_device;
struct udev_monitor;

// Linux discovery: serial ttys through libudev (a first scan, then hotplug from a udev monitor read
// in the event loop) and device simulators attached through links in varno::attachedDevicesDir().
// Both report alike; a tty is reported by its device node, a simulator by its link's full path.
class UdevNotifier : public QObject, public INotifier
{
    Q_OBJECT
public:
    // The port of a freshly plugged-in monitor is not ready at once; arrivals wait this long.
    static constexpr int kArrivalSettleMs = 1000;

    explicit UdevNotifier(QObject *parent = nullptr);
    ~UdevNotifier() override;

    void startNotify() override;
    void stopNotify() override;
    QStringList enumerateDevices() override;
    void addAllowedDevice(quint16 vid, quint16 pid) override;

    bool isNotifying() const { return m_notifying; }
    int pendingArrivalCount() const { return m_pendingArrivals.size(); }

    // "Vid_xxxx&Pid_xxxx" from the hexadecimal ids udev reports, or empty when either is unusable.
    static QString usbIdName(const QString &vendorHex, const QString &productHex);

signals:
    void deviceInserted(const QString &name);
    void deviceRemoved(const QString &name);

private slots:
    void OnUdevEvent();
    void OnAttachedDirChanged();

private:
    struct UdevDeleter { void operator()(udev *u) const; };
    struct MonitorDeleter { void operator()(udev_monitor *m) const; };

    QString usbIdNameOf(udev_device *device) const;
    bool isAllowed(const QString &name) const;
    QSet<QString> scanAttachedDir() const;
    void scheduleArrival(const QString &name);
    void cancelArrivals(const QString &name);
    void reportRemoval(const QString &name);

    QVector<AllowedDeviceId> m_allowed;
    std::unique_ptr<udev, UdevDeleter> m_udev;
    std::unique_ptr<udev_monitor, MonitorDeleter> m_monitor;
    QSocketNotifier *m_socketNotifier = nullptr;
    QFileSystemWatcher *m_dirWatcher = nullptr;
    QString m_attachedDir;
    QSet<QString> m_attachedEntries;
    // Ids seen for a device node, for remove events that come without them.
    QHash<QString, QString> m_idsByNode;
    QMultiHash<QString, QTimer *> m_pendingArrivals;
    bool m_notifying = false;
};
