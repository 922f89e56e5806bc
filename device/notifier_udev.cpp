#include "device/notifier_udev.h"

#include "device/devicenotifier.h"
#include "link/logging.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QSocketNotifier>
#include <QTimer>

#include <libudev.h>

#include <cerrno>

namespace {

const char kTtySubsystem[] = "tty";

struct DeviceDeleter
{
    void operator()(udev_device *d) const { udev_device_unref(d); }
};
struct EnumerateDeleter
{
    void operator()(udev_enumerate *e) const { udev_enumerate_unref(e); }
};
using DevicePtr = std::unique_ptr<udev_device, DeviceDeleter>;
using EnumeratePtr = std::unique_ptr<udev_enumerate, EnumerateDeleter>;

QString udevProperty(udev_device *device, const char *key)
{
    return QString::fromLatin1(udev_device_get_property_value(device, key));
}

} // namespace

INotifier *varno::createPlatformNotifier()
{
    return new UdevNotifier();
}

void UdevNotifier::UdevDeleter::operator()(udev *u) const
{
    udev_unref(u);
}

void UdevNotifier::MonitorDeleter::operator()(udev_monitor *m) const
{
    udev_monitor_unref(m);
}

UdevNotifier::UdevNotifier(QObject *parent)
    : QObject(parent)
    , m_udev(udev_new())
{
    if (!m_udev)
        VLOG << "udev is not available: " << errno;
}

UdevNotifier::~UdevNotifier()
{
    stopNotify();
}

QString UdevNotifier::usbIdName(const QString &vendorHex, const QString &productHex)
{
    bool vidOk = false;
    bool pidOk = false;
    const uint vid = vendorHex.trimmed().toUInt(&vidOk, 16);
    const uint pid = productHex.trimmed().toUInt(&pidOk, 16);
    if (!vidOk || !pidOk || vid > 0xFFFF || pid > 0xFFFF)
        return QString();
    return varno::allowedDevicePattern(quint16(vid), quint16(pid));
}

QString UdevNotifier::usbIdNameOf(udev_device *device) const
{
    // udev's usb_id builtin puts the ids on the tty itself (newer systemd also as ID_USB_*).
    QString name = usbIdName(udevProperty(device, "ID_VENDOR_ID"), udevProperty(device, "ID_MODEL_ID"));
    if (name.isEmpty())
        name = usbIdName(udevProperty(device, "ID_USB_VENDOR_ID"), udevProperty(device, "ID_USB_MODEL_ID"));
    if (!name.isEmpty())
        return name;
    // Without udev rules (a bare system) only the USB parent in sysfs knows them.
    udev_device *usb = udev_device_get_parent_with_subsystem_devtype(device, "usb", "usb_device");
    if (usb) {
        name = usbIdName(QString::fromLatin1(udev_device_get_sysattr_value(usb, "idVendor")),
                         QString::fromLatin1(udev_device_get_sysattr_value(usb, "idProduct")));
    }
    return name;
}

bool UdevNotifier::isAllowed(const QString &name) const
{
    return varno::isAllowedDevice(name, m_allowed);
}

void UdevNotifier::addAllowedDevice(quint16 vid, quint16 pid)
{
    m_allowed.append(AllowedDeviceId{vid, pid});
}

void UdevNotifier::startNotify()
{
    if (m_notifying)
        return;
    m_notifying = true;

    if (m_udev) {
        m_monitor.reset(udev_monitor_new_from_netlink(m_udev.get(), "udev"));
        int rc = m_monitor ? 0 : -ENOMEM;
        if (m_monitor)
            rc = udev_monitor_filter_add_match_subsystem_devtype(m_monitor.get(), kTtySubsystem, nullptr);
        if (rc >= 0)
            rc = udev_monitor_enable_receiving(m_monitor.get());
        if (rc < 0) {
            VLOG << "Couldn't register for device listening: " << -rc;
            m_monitor.reset();
        } else {
            m_socketNotifier = new QSocketNotifier(udev_monitor_get_fd(m_monitor.get()),
                                                   QSocketNotifier::Read, this);
            connect(m_socketNotifier, &QSocketNotifier::activated, this, &UdevNotifier::OnUdevEvent);
        }
    }

    // The simulators' folder is ours: create it so that it can be watched before the first one comes.
    m_attachedDir = varno::attachedDevicesDir();
    if (!QDir().mkpath(m_attachedDir)) {
        VLOG << "Couldn't create the attached devices folder " << m_attachedDir;
        return;
    }
    m_dirWatcher = new QFileSystemWatcher(this);
    connect(m_dirWatcher, &QFileSystemWatcher::directoryChanged, this,
            &UdevNotifier::OnAttachedDirChanged);
    if (!m_dirWatcher->addPath(m_attachedDir))
        VLOG << "Couldn't watch the attached devices folder " << m_attachedDir;
    m_attachedEntries = scanAttachedDir();
}

void UdevNotifier::stopNotify()
{
    if (!m_notifying)
        return;
    m_notifying = false;
    delete m_socketNotifier;
    m_socketNotifier = nullptr;
    m_monitor.reset();
    delete m_dirWatcher;
    m_dirWatcher = nullptr;
    m_attachedEntries.clear();
    qDeleteAll(m_pendingArrivals);
    m_pendingArrivals.clear();
}

QStringList UdevNotifier::enumerateDevices()
{
    QStringList found;
    if (m_udev) {
        EnumeratePtr enumerate(udev_enumerate_new(m_udev.get()));
        if (enumerate && udev_enumerate_add_match_subsystem(enumerate.get(), kTtySubsystem) >= 0
            && udev_enumerate_scan_devices(enumerate.get()) >= 0) {
            udev_list_entry *entry = nullptr;
            udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumerate.get()))
            {
                DevicePtr device(udev_device_new_from_syspath(m_udev.get(),
                                                              udev_list_entry_get_name(entry)));
                if (!device)
                    continue;
                const QString node = QString::fromLocal8Bit(udev_device_get_devnode(device.get()));
                if (node.isEmpty())
                    continue;
                const QString ids = usbIdNameOf(device.get());
                if (ids.isEmpty() || !isAllowed(ids))
                    continue;
                m_idsByNode.insert(node, ids);
                found.append(node);
            }
        }
    }

    // The scan works before startNotify() too, as the first scan of a device list should.
    if (m_attachedDir.isEmpty())
        m_attachedDir = varno::attachedDevicesDir();
    const QSet<QString> entries = scanAttachedDir();
    if (m_notifying)
        m_attachedEntries = entries;
    QStringList links;
    for (const QString &entry : entries) {
        const QString path = m_attachedDir + QLatin1Char('/') + entry;
        // A link left behind by a simulator that was killed points nowhere: nothing to open.
        if (isAllowed(path) && QFileInfo::exists(path))
            links.append(path);
    }
    links.sort();
    found += links;

    for (const QString &name : qAsConst(found)) {
        VLOG << "Allowed device " << name << " detected";
        emit deviceInserted(name);
    }
    return found;
}

void UdevNotifier::OnUdevEvent()
{
    if (!m_monitor)
        return;
    DevicePtr device(udev_monitor_receive_device(m_monitor.get()));
    if (!device)
        return;
    const QString action = QString::fromLatin1(udev_device_get_action(device.get()));
    const QString node = QString::fromLocal8Bit(udev_device_get_devnode(device.get()));
    VLOG << "udev event " << action << " " << node;
    if (node.isEmpty())
        return;

    QString ids = usbIdNameOf(device.get());
    if (action == QLatin1String("add")) {
        if (ids.isEmpty() || !isAllowed(ids))
            return;
        m_idsByNode.insert(node, ids);
        scheduleArrival(node);
    } else if (action == QLatin1String("remove")) {
        if (ids.isEmpty())
            ids = m_idsByNode.value(node);
        m_idsByNode.remove(node);
        if (ids.isEmpty() || !isAllowed(ids))
            return;
        reportRemoval(node);
    }
}

QSet<QString> UdevNotifier::scanAttachedDir() const
{
    if (m_attachedDir.isEmpty())
        return QSet<QString>();
    // System takes in links to character devices and dangling links.
    const QStringList names = QDir(m_attachedDir).entryList(
            QDir::Files | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot);
    return QSet<QString>(names.cbegin(), names.cend());
}

void UdevNotifier::OnAttachedDirChanged()
{
    const QSet<QString> now = scanAttachedDir();
    QStringList gone = (m_attachedEntries - now).values();
    QStringList added = (now - m_attachedEntries).values();
    m_attachedEntries = now;
    gone.sort();
    added.sort();
    for (const QString &entry : qAsConst(gone)) {
        const QString path = m_attachedDir + QLatin1Char('/') + entry;
        if (isAllowed(path))
            reportRemoval(path);
    }
    for (const QString &entry : qAsConst(added)) {
        const QString path = m_attachedDir + QLatin1Char('/') + entry;
        if (isAllowed(path))
            scheduleArrival(path);
    }
}

void UdevNotifier::scheduleArrival(const QString &name)
{
    // Waiting in the event loop keeps the window alive while the port settles.
    auto *timer = new QTimer(this);
    timer->setSingleShot(true);
    timer->setInterval(kArrivalSettleMs);
    connect(timer, &QTimer::timeout, this, [this, timer, name]() {
        m_pendingArrivals.remove(name, timer);
        timer->deleteLater();
        emit deviceInserted(name);
    });
    m_pendingArrivals.insert(name, timer);
    timer->start();
}

void UdevNotifier::cancelArrivals(const QString &name)
{
    const QList<QTimer *> timers = m_pendingArrivals.values(name);
    m_pendingArrivals.remove(name);
    qDeleteAll(timers);
}

void UdevNotifier::reportRemoval(const QString &name)
{
    // A device pulled out while its arrival still settles is never announced as present.
    cancelArrivals(name);
    emit deviceRemoved(name);
}
