#include "device/devicenotifier.h"

#include "link/logging.h"

#include <QFile>
#include <QHash>
#include <QSocketNotifier>

#include <libudev.h>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

// Linux discovery: serial ttys through libudev (a first scan, then hotplug from a udev monitor read
// in the event loop). A tty is reported by its device node.
namespace {

const char kTtySubsystem[] = "tty";

struct UdevDeleter
{
    void operator()(udev *u) const { udev_unref(u); }
};
struct MonitorDeleter
{
    void operator()(udev_monitor *m) const { udev_monitor_unref(m); }
};
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

QString usbIdNameOf(udev_device *device)
{
    // udev's usb_id builtin puts the ids on the tty itself (newer systemd also as ID_USB_*).
    QString name = DeviceNotifier::usbIdName(udevProperty(device, "ID_VENDOR_ID"),
                                             udevProperty(device, "ID_MODEL_ID"));
    if (name.isEmpty())
        name = DeviceNotifier::usbIdName(udevProperty(device, "ID_USB_VENDOR_ID"),
                                         udevProperty(device, "ID_USB_MODEL_ID"));
    if (!name.isEmpty())
        return name;
    // Without udev rules (a bare system) only the USB parent in sysfs knows them.
    udev_device *usb = udev_device_get_parent_with_subsystem_devtype(device, "usb", "usb_device");
    if (usb) {
        name = DeviceNotifier::usbIdName(
            QString::fromLatin1(udev_device_get_sysattr_value(usb, "idVendor")),
            QString::fromLatin1(udev_device_get_sysattr_value(usb, "idProduct")));
    }
    return name;
}

// The kernel's own list of tty drivers says which device numbers are serial ports and
// pseudo-terminal ends ("pty_slave /dev/pts 136 0-1048575 pty:slave").
bool isTerminalDevice(dev_t device)
{
    const uint major = ::major(device);
    const uint minor = ::minor(device);
    QFile drivers(QStringLiteral("/proc/tty/drivers"));
    if (!drivers.open(QIODevice::ReadOnly)) {
        // Unix98 pseudo-terminal ends have majors 136 to 143 on every Linux.
        return major >= 136 && major <= 143;
    }
    const QList<QByteArray> lines = drivers.readAll().split('\n');
    for (const QByteArray &line : lines) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() < 5)
            continue;
        const QByteArray type = fields.at(fields.size() - 1);
        if (type != "serial" && type != "pty:slave")
            continue;
        bool ok = false;
        if (fields.at(fields.size() - 3).toUInt(&ok) != major || !ok)
            continue;
        const QList<QByteArray> range = fields.at(fields.size() - 2).split('-');
        bool firstOk = false;
        bool lastOk = false;
        const uint first = range.first().toUInt(&firstOk);
        const uint last = range.last().toUInt(&lastOk);
        if (firstOk && lastOk && minor >= first && minor <= last)
            return true;
    }
    return false;
}

QString fileKind(mode_t mode)
{
    if (S_ISREG(mode))
        return QStringLiteral("a regular file");
    if (S_ISDIR(mode))
        return QStringLiteral("a folder");
    if (S_ISSOCK(mode))
        return QStringLiteral("a socket");
    if (S_ISFIFO(mode))
        return QStringLiteral("a fifo");
    if (S_ISBLK(mode))
        return QStringLiteral("a block device");
    return QStringLiteral("not a device");
}

} // namespace

struct DeviceNotifier::Platform
{
    std::unique_ptr<udev, UdevDeleter> context { udev_new() };
    std::unique_ptr<udev_monitor, MonitorDeleter> monitor;
    QSocketNotifier *socketNotifier = nullptr;
    // Ids seen for a device node, for remove events that come without them.
    QHash<QString, QString> idsByNode;

    static void receive(DeviceNotifier *notifier);
};

DeviceNotifier::DeviceNotifier(QObject *parent)
    : QObject(parent)
    , m_platform(std::make_unique<Platform>())
{
    if (!m_platform->context)
        VLOG << "udev is not available: " << errno;
}

DeviceNotifier::~DeviceNotifier()
{
    stopNotify();
}

void DeviceNotifier::startPlatform()
{
    Platform &p = *m_platform;
    if (!p.context)
        return;
    p.monitor.reset(udev_monitor_new_from_netlink(p.context.get(), "udev"));
    int rc = p.monitor ? 0 : -ENOMEM;
    if (p.monitor)
        rc = udev_monitor_filter_add_match_subsystem_devtype(p.monitor.get(), kTtySubsystem,
                                                             nullptr);
    if (rc >= 0)
        rc = udev_monitor_enable_receiving(p.monitor.get());
    if (rc < 0) {
        VLOG << "Couldn't register for device listening: " << -rc;
        p.monitor.reset();
        return;
    }
    p.socketNotifier
        = new QSocketNotifier(udev_monitor_get_fd(p.monitor.get()), QSocketNotifier::Read, this);
    connect(p.socketNotifier, &QSocketNotifier::activated, this,
            [this] { Platform::receive(this); });
}

void DeviceNotifier::stopPlatform()
{
    delete m_platform->socketNotifier;
    m_platform->socketNotifier = nullptr;
    m_platform->monitor.reset();
}

QStringList DeviceNotifier::enumeratePlatform()
{
    Platform &p = *m_platform;
    QStringList found;
    if (!p.context)
        return found;
    EnumeratePtr enumerate(udev_enumerate_new(p.context.get()));
    if (!enumerate || udev_enumerate_add_match_subsystem(enumerate.get(), kTtySubsystem) < 0
        || udev_enumerate_scan_devices(enumerate.get()) < 0)
        return found;
    udev_list_entry *entry = nullptr;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumerate.get()))
    {
        DevicePtr device(
            udev_device_new_from_syspath(p.context.get(), udev_list_entry_get_name(entry)));
        if (!device)
            continue;
        const QString node = QString::fromLocal8Bit(udev_device_get_devnode(device.get()));
        if (node.isEmpty())
            continue;
        const QString ids = usbIdNameOf(device.get());
        if (ids.isEmpty() || !isAllowed(ids))
            continue;
        p.idsByNode.insert(node, ids);
        found.append(node);
    }
    return found;
}

void DeviceNotifier::Platform::receive(DeviceNotifier *notifier)
{
    Platform &p = *notifier->m_platform;
    if (!p.monitor)
        return;
    DevicePtr device(udev_monitor_receive_device(p.monitor.get()));
    if (!device)
        return;
    const QString action = QString::fromLatin1(udev_device_get_action(device.get()));
    const QString node = QString::fromLocal8Bit(udev_device_get_devnode(device.get()));
    VLOG << "udev event " << action << " " << node;
    if (node.isEmpty())
        return;

    QString ids = usbIdNameOf(device.get());
    if (action == QLatin1String("add")) {
        if (ids.isEmpty() || !notifier->isAllowed(ids))
            return;
        p.idsByNode.insert(node, ids);
        notifier->scheduleArrival(node);
    } else if (action == QLatin1String("remove")) {
        if (ids.isEmpty())
            ids = p.idsByNode.value(node);
        p.idsByNode.remove(node);
        if (ids.isEmpty() || !notifier->isAllowed(ids))
            return;
        notifier->reportRemoval(node);
    }
}

QString DeviceNotifier::attachedEntryProblem(const QString &path)
{
    // stat() follows the link to what the serial port would open.
    struct stat info = {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return errno == ENOENT ? QStringLiteral("leads nowhere")
                               : QString::fromLocal8Bit(std::strerror(errno));
    if (!S_ISCHR(info.st_mode))
        return QStringLiteral("leads to %1, not a terminal").arg(fileKind(info.st_mode));
    if (info.st_uid != ::geteuid())
        return QStringLiteral("leads to a device of uid %1").arg(info.st_uid);
    if (!isTerminalDevice(info.st_rdev))
        return QStringLiteral("leads to a character device %1:%2 that is not a terminal")
            .arg(::major(info.st_rdev))
            .arg(::minor(info.st_rdev));
    return QString();
}

QString DeviceNotifier::attachedEntryName(const QString &path)
{
    return path;
}
