#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

class Device;

// Base of every page that shows one device. It binds by name and never keeps the Device: each
// access looks it up in the device manager, so a page cannot use a device that was deleted.
class DevicePanel : public QWidget
{
    Q_OBJECT
public:
    explicit DevicePanel(QWidget *parent = nullptr);

    void setDevice(const QString &name);
    void clearDevice();
    Device *device() const;
    QString deviceName() const { return m_deviceName; }

protected:
    // The device a modal dialog is opened for. While the dialog runs, the monitor can be unplugged
    // and another one take its place on this page, even under the same name. A firmware release is
    // chosen by the hardware version and platform, so those must not change either.
    struct DeviceTarget
    {
        QString name;
        QPointer<Device> device;
        QString hardwareVersion;
        QString platform;
    };
    DeviceTarget currentTarget() const;
    // The target once the dialog has closed, if this page still shows that very device; otherwise
    // null, and the user is told that nothing was sent.
    Device *targetStillShown(const DeviceTarget &target) const;

    virtual void deviceChanged() = 0;
    virtual void deviceCleared() = 0;
    virtual void deviceDataUpdated(int id) = 0;

protected slots:
    void OnDeviceDataUpdated(int id);

private:
    void OnDeviceRemoved(const QString &name);

    QString m_deviceName;
};
