#pragma once

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
    virtual void deviceChanged() = 0;
    virtual void deviceCleared() = 0;
    virtual void deviceDataUpdated(int id) = 0;

protected slots:
    void OnDeviceDataUpdated(int id);

private:
    void OnDeviceRemoved(const QString &name);

    QString m_deviceName;
};
