#include "panels/devicewidget.h"

#include "device/device.h"

#include "ui_devicewidget.h"

DeviceWidget::DeviceWidget(Device *device, QWidget *parent)
    : QWidget(parent)
    , ui(std::make_unique<Ui::DeviceWidget>())
    , m_device(device)
{
    ui->setupUi(this);
    ui->pixmapLabel->setPixmap(QPixmap(QStringLiteral(":/images/logo.png")));
    if (device) {
        connect(device, &Device::idChanged, this, &DeviceWidget::OnDeviceIdChange);
        connect(device, &Device::stateChanged, this, &DeviceWidget::OnDeviceStateChange);
    }
    OnDeviceIdChange();
}

DeviceWidget::~DeviceWidget() = default;

void DeviceWidget::OnDeviceStateChange(const DeviceState &)
{
}

void DeviceWidget::OnDeviceIdChange()
{
    const QString name = m_device ? m_device->displayName() : tr("Unknown Device");
    ui->deviceNameLabel->setText(name);
    if (name == tr("VARNO Ormelin"))
        ui->pixmapLabel->setPixmap(QPixmap(QStringLiteral(":/images/ormelin.png")));
    else if (name.contains(QLatin1String("Paxtor"), Qt::CaseSensitive))
        ui->pixmapLabel->setPixmap(QPixmap(QStringLiteral(":/images/paxtor.png")));
}
