#include "device/devicemanager.h"

#include "device/device.h"
#include "device/deviceinfo.h"
#include "device/portholder.h"
#include "link/logging.h"
#include "link/serialport.h"
#include "tasks/notificationhub.h"
#include "tasks/readidtask.h"
#include "tasks/taskmanager.h"
#include "tasks/taskresult.h"

#include <cerrno>

// Where the packaging installs the rule that lets the seat's user open the monitor.
#ifndef VARNO_UDEV_RULE_PATH
#define VARNO_UDEV_RULE_PATH "/etc/udev/rules.d/60-varno-monitor.rules"
#endif

DeviceManager *DeviceManager::instance()
{
    static DeviceManager *manager = new DeviceManager();
    return manager;
}

Device *DeviceManager::createDevice(const QString &path, Devices::DeviceClass cls)
{
    Q_UNUSED(cls)
    return instance()->create(path);
}

Device *DeviceManager::create(const QString &path)
{
    Device *device = nullptr;
    try {
        device = new Device(path, nullptr);
    } catch (const SerialPortException &e) {
        VWARN << "Device open error:" << e;
        reportOpenFailure(path, e.error());
        return nullptr;
    }
    forgetFailure(path);
    connect(device, &Device::dead, this, &DeviceManager::OnDead);
    connect(device, &Device::dataUpdated, this, &DeviceManager::OnDeviceData);
    m_devices.insert(device->name(), device);
    return device;
}

QString DeviceManager::openFailureText(const QString &path, int error, const QString &holder)
{
    const QString rule = QStringLiteral(VARNO_UDEV_RULE_PATH);
    switch (error) {
    case EACCES:
    case EPERM:
        return tr("A VARNO monitor was found at %1, but this user may not open it. Install the "
                  "program's udev rule as %2 (installing the program's package does this), or join "
                  "the \"dialout\" group and log in again. Then plug the monitor in again.")
            .arg(path, rule);
    case EBUSY:
        if (!holder.isEmpty())
            return tr("A VARNO monitor was found at %1, but %2 is using its port. Close that program "
                      "(for ModemManager, install the udev rule %3), then plug the monitor in again.")
                .arg(path, holder, rule);
        return tr("A VARNO monitor was found at %1, but another program is using its port: a terminal "
                  "program, another copy of this program, or ModemManager when the udev rule %2 is "
                  "not installed. Close it, then plug the monitor in again.")
            .arg(path, rule);
    default:
        return QString();
    }
}

void DeviceManager::reportOpenFailure(const QString &path, int error)
{
    // A second arrival report for a port we already hold fails with EBUSY by design: nothing to say.
    if (m_devices.contains(path) || m_reportedFailures.contains(path))
        return;
    if (openFailureText(path, error, QString()).isEmpty())
        return;
    m_reportedFailures.insert(path);
    const auto notify = [](const QString &text) {
        NotificationHub::instance()->OnMessageNotification(text);
    };
    if (error != EBUSY) {
        notify(openFailureText(path, error, QString()));
        return;
    }
    // The holder is looked for off this thread; the notice follows when it is known, unless the
    // port opened or went away meanwhile (forgetFailure() deletes the search).
    auto *search = new PortHolderSearch(path, this);
    connect(search, &QThread::finished, search, [search, path, notify] {
        search->deleteLater();
        const PortHolder::Process process = search->holder();
        const QString holder =
                process.isValid() ? tr("%1 (pid %2)").arg(process.name).arg(process.pid) : QString();
        notify(openFailureText(path, EBUSY, holder));
    });
    search->start();
}

void DeviceManager::forgetFailure(const QString &path)
{
    m_reportedFailures.remove(path);
    const QList<PortHolderSearch *> searches =
            findChildren<PortHolderSearch *>(QString(), Qt::FindDirectChildrenOnly);
    for (PortHolderSearch *search : searches) {
        if (search->path() == path)
            delete search;
    }
}

void DeviceManager::OnDeviceInserted(const QString &id)
{
    VLOG << "Device inserted: " << id;
    Device *device = createDevice(id, Devices::UsbMonitor);
    if (!device)
        return;
    m_statuses.insert(id, Pending);
    watchIdentification(device->name());
}

// A failed identity read stores no data item, so dataUpdated(0) never tells of it; the task's own
// completion does, and disables the device as an invalid item 0 would.
void DeviceManager::watchIdentification(const QString &name)
{
    Device *device = m_devices.value(name);
    auto *task = new ReadIDTask(device, nullptr);
    connect(task, &Task::Complete, this, [this, task, name] {
        const int code = task->resultCode();
        if ((code == TaskResult::Error || code == TaskResult::TimedOut) && m_devices.contains(name)) {
            VLOG << "Device " << name << " disabled";
            m_statuses.insert(name, Disabled);
        }
    });
    TaskManager::addTask(task);
}

void DeviceManager::OnDeviceData(int item)
{
    auto *device = qobject_cast<Device *>(sender());
    if (!device || item != Device::ReadId)
        return;
    const QVariant value = device->data(Device::ReadId);
    if (!value.isValid()) {
        VLOG << "Device " << device->name() << " disabled";
        m_statuses.insert(device->name(), Disabled);
        return;
    }
    device->setPolling(true);
    device->setDeviceInfo(value.canConvert<DeviceInfo>() ? value.value<DeviceInfo>() : DeviceInfo());
    emit DeviceInserted(device->name());
}

void DeviceManager::OnDeviceRemoved(const QString &id)
{
    VLOG << "Device removed";
    m_statuses.remove(id);
    forgetFailure(id);
    TaskManager::removeScheduler(id);
    removeDevice(id);
}

void DeviceManager::OnDead()
{
    if (auto *device = qobject_cast<Device *>(sender()))
        removeDevice(device->name());
}

Device *DeviceManager::removeDevice(const QString &name)
{
    return instance()->removeByName(name);
}

Device *DeviceManager::removeDevice(Device *device)
{
    return instance()->removeByPointer(device);
}

bool DeviceManager::hasDevice(const QString &name)
{
    return instance()->m_devices.contains(name);
}

int DeviceManager::deviceCount()
{
    return instance()->m_devices.size();
}

Device *DeviceManager::removeByName(const QString &name)
{
    VLOG << "Removing device: " << name << " by name";
    if (!m_devices.contains(name)) {
        VLOG << "Device " << name << " not found";
        return nullptr;
    }
    Device *device = m_devices.take(name);
    m_statuses.remove(device->name());
    emit DeviceRemoved(device->name());
    delete device;
    return nullptr;
}

Device *DeviceManager::removeByPointer(Device *device)
{
    if (!device)
        return nullptr;
    const QString name = device->name();
    VLOG << "Removing device " << name;
    // Only the registered object may be deleted here: a stray pointer under a registered name is not
    // ours to free.
    if (m_devices.value(name) != device)
        return nullptr;
    m_devices.remove(name);
    m_statuses.remove(name);
    emit DeviceRemoved(name);
    delete device;
    return nullptr;
}
