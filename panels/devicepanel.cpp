#include "panels/devicepanel.h"

#include "device/device.h"
#include "device/deviceinfo.h"
#include "device/devicemanager.h"
#include "link/logging.h"
#include "panels/inputpassworddialog.h"
#include "tasks/notificationhub.h"

#include <QAbstractButton>
#include <QMessageBox>

DevicePanel::DevicePanel(QWidget *parent)
    : QWidget(parent)
{
    // A page lets go of its device as soon as the registry drops it, whoever else is told.
    connect(DeviceManager::instance(), &DeviceManager::DeviceRemoved, this, &DevicePanel::OnDeviceRemoved);
}

Device *DevicePanel::device() const
{
    return m_deviceName.isEmpty() ? nullptr : DeviceManager::instance()->device(m_deviceName);
}

DevicePanel::DeviceTarget DevicePanel::currentTarget() const
{
    Device *current = device();
    if (!current)
        return { m_deviceName, nullptr, QString(), QString() };
    return { m_deviceName, current, current->deviceInfo().hardwareVersion(), current->platform() };
}

Device *DevicePanel::targetStillShown(const DeviceTarget &target) const
{
    // The object, not the name: a monitor plugged in after another one may get its path.
    Device *current = device();
    if (target.device && current == target.device
        && current->deviceInfo().hardwareVersion() == target.hardwareVersion
        && current->platform() == target.platform)
        return current;
    VLOG << "Device " << target.name << " is no longer shown; nothing sent";
    NotificationHub::instance()->OnMessageNotification(
        tr("The device was disconnected or replaced while the dialog was open. Nothing was sent."));
    return nullptr;
}

bool DevicePanel::passwordForCommand(const QString &title, const QString &text, QString *password)
{
    password->clear();
    if (!m_passwordRetry)
        return true;
    InputPasswordDialog dialog(title, text, this);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    *password = dialog.password();
    return true;
}

bool DevicePanel::acceptedWithPassword(const QVariant &result, QAbstractButton *retry,
                                       const QString &title, const QString &refusedText)
{
    if (result.isValid() && result.toBool())
        return true;
    if (!m_passwordRetry) {
        m_passwordRetry = true;
        retry->click();
    } else {
        QMessageBox::warning(this, title, refusedText, QMessageBox::Ok);
    }
    return false;
}

void DevicePanel::setDevice(const QString &name)
{
    if (name == m_deviceName)
        return;
    if (Device *previous = device())
        disconnect(previous, nullptr, this, nullptr);
    m_deviceName = name;
    // Queued: results are handled from the event loop, never inside the device's own event
    // handler, so a message box shown for a result cannot outlive the device under it.
    if (Device *current = device())
        connect(current, &Device::dataUpdated, this, &DevicePanel::OnDeviceDataUpdated, Qt::QueuedConnection);
    deviceChanged();
}

void DevicePanel::clearDevice()
{
    if (Device *previous = device())
        disconnect(previous, nullptr, this, nullptr);
    m_deviceName.clear();
    deviceCleared();
}

void DevicePanel::OnDeviceDataUpdated(int id)
{
    // A queued update may come from a device that was unbound meanwhile.
    Device *current = device();
    if (!current || sender() != current)
        return;
    deviceDataUpdated(id);
}

void DevicePanel::OnDeviceRemoved(const QString &name)
{
    if (!m_deviceName.isEmpty() && name == m_deviceName)
        clearDevice();
}
