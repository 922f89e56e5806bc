#pragma once

#include "device/devicestate.h"

#include <QPointer>
#include <QWidget>

#include <memory>

class Device;

namespace Ui {
class DeviceWidget;
}

// The device's entry in the main window's tree: its picture and display name.
class DeviceWidget : public QWidget
{
    Q_OBJECT
public:
    explicit DeviceWidget(Device *device, QWidget *parent = nullptr);
    ~DeviceWidget() override;

public slots:
    void OnDeviceStateChange(const DeviceState &state);
    void OnDeviceIdChange();

private:
    std::unique_ptr<Ui::DeviceWidget> ui;
    // Only for the name; the tree drops this widget when the device goes.
    QPointer<Device> m_device;
};
