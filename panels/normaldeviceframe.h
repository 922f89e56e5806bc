#pragma once

#include "panels/devicepanel.h"

#include <QList>
#include <QVariant>

#include <memory>

class GeneralDeviceWidget;
class MeasurementsWidget;

namespace Ui {
class NormalDeviceFrame;
}

// The device page: General, Measures and History tabs, each a panel that follows the page's device.
class NormalDeviceFrame : public DevicePanel
{
    Q_OBJECT
public:
    explicit NormalDeviceFrame(QWidget *parent = nullptr);
    ~NormalDeviceFrame() override;

    GeneralDeviceWidget *generalWidget() const { return m_general; }
    MeasurementsWidget *measurementsWidget() const { return m_measurements; }
    DevicePanel *historyWidget() const { return m_history; }
    QList<DevicePanel *> panels() const { return m_panels; }

protected:
    void deviceChanged() override;
    void deviceCleared() override;
    void deviceDataUpdated(int id) override;

private slots:
    void OnCalibrationRead(const QVariant &value);
    void OnCurrentChanged(int index);

private:
    std::unique_ptr<Ui::NormalDeviceFrame> ui;
    GeneralDeviceWidget *m_general = nullptr;
    MeasurementsWidget *m_measurements = nullptr;
    DevicePanel *m_history = nullptr;
    QList<DevicePanel *> m_panels;
};
