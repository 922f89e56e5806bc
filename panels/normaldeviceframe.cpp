#include "panels/normaldeviceframe.h"

#include "device/device.h"
#include "history/ui/historyviewwidget.h"
#include "panels/generaldevicewidget.h"
#include "panels/measurementswidget.h"

#include "ui_normaldeviceframe.h"

#include <QDoubleSpinBox>

NormalDeviceFrame::NormalDeviceFrame(QWidget *parent)
    : DevicePanel(parent)
    , ui(std::make_unique<Ui::NormalDeviceFrame>())
{
    ui->setupUi(this);
    m_general = new GeneralDeviceWidget(ui->generalInfoTab);
    m_measurements = new MeasurementsWidget(ui->measuresTab);
    m_history = new HistoryViewWidget(false, ui->statisticsTab);
    ui->generalLayout->addWidget(m_general);
    ui->measuresLayout->addWidget(m_measurements);
    ui->statisticsLayout->addWidget(m_history);
    m_panels = { m_general, m_measurements, m_history };
    connect(ui->deviceTabWidget, &QTabWidget::currentChanged, this, &NormalDeviceFrame::OnCurrentChanged);
}

NormalDeviceFrame::~NormalDeviceFrame() = default;

void NormalDeviceFrame::deviceChanged()
{
    if (Device *current = device())
        disconnect(current, nullptr, this, nullptr);
    for (DevicePanel *panel : qAsConst(m_panels))
        panel->setDevice(deviceName());
}

void NormalDeviceFrame::deviceCleared()
{
    for (DevicePanel *panel : qAsConst(m_panels))
        panel->clearDevice();
}

void NormalDeviceFrame::deviceDataUpdated(int)
{
}

void NormalDeviceFrame::OnCalibrationRead(const QVariant &value)
{
    if (auto *box = m_general->findChild<QDoubleSpinBox *>(QStringLiteral("calibrationCoeffValueBox")))
        box->setValue(value.toDouble());
}

void NormalDeviceFrame::OnCurrentChanged(int)
{
}
