#include "panels/generaldevicewidget.h"

#include "device/changejournal.h"
#include "device/device.h"
#include "device/deviceinfo.h"
#include "link/logging.h"
#include "panels/changejournaldialog.h"
#include "panels/passwordchangedialog.h"
#include "tasks/changepasswordtask.h"
#include "tasks/writecalibrationtask.h"
#include "update/ui/firmwareuploaddialog.h"
#include "update/ui/softwareupdatedialog.h"
#include "update/updatemanager.h"
#include "update/versioncompare.h"

#include "ui_generaldevicewidget.h"

#include <QApplication>
#include <QMessageBox>
#include <QVariantHash>

namespace {

const QString kSerialNumberFirmware = QStringLiteral("1.9");
// The range the page writes. The device holds up to 655.35, and a value read from it is shown as
// it is even outside this range, but the page never writes one there.
constexpr double kMinWritableCoefficient = 0.50;
constexpr double kMaxWritableCoefficient = 1.50;

} // namespace

GeneralDeviceWidget::GeneralDeviceWidget(QWidget *parent)
    : DevicePanel(parent)
    , ui(std::make_unique<Ui::GeneralDeviceWidget>())
{
    ui->setupUi(this);
    ui->updateSoftwarePushButton->setEnabled(false);
    ui->updateSoftwarePushButton->hide();
    connect(ui->readCalibrationButton, &QPushButton::clicked, this, &GeneralDeviceWidget::OnRefreshCalibration);
    connect(ui->writeCalibrationButton, &QPushButton::clicked, this, &GeneralDeviceWidget::OnWriteCalibration);
    connect(ui->changePasswordButton, &QPushButton::clicked, this, &GeneralDeviceWidget::OnChangePassword);
    connect(ui->updateSoftwarePushButton, &QPushButton::clicked, this, &GeneralDeviceWidget::OnUpdateFirmwareClicked);

    // The changes made to this monitor, from the program and from varnoctl.
    auto *journalButton = new QPushButton(tr("Journal of changes"), this);
    journalButton->setObjectName(QStringLiteral("journalButton"));
    ui->gridLayout_2->addWidget(journalButton, ui->gridLayout_2->rowCount(), 0, 1, 2, Qt::AlignLeft);
    connect(journalButton, &QPushButton::clicked, this, [this] {
        const QString serial = device() ? device()->deviceInfo().serialNumber().remove(QChar(0)).trimmed()
                                        : QString();
        ChangeJournalDialog dialog(ChangeJournal::instance()->path(), serial, this);
        dialog.exec();
    });
}

GeneralDeviceWidget::~GeneralDeviceWidget()
{
    delete m_firmwareCheck;
}

QString GeneralDeviceWidget::powerOnTimeText(quint32 seconds)
{
    // All the hours: a 16-bit count would wrap after seven and a half years of operation.
    const quint32 hours = seconds / 3600;
    const quint32 minutes = (seconds / 60) % 60;
    return QString::number(hours) + tr(" h ") + QStringLiteral("%1").arg(minutes, 2, 10, QLatin1Char('0'))
        + tr(" min ");
}

QString GeneralDeviceWidget::powerSourceText(const DeviceState &state)
{
    if (state.externalPower())
        return state.charging() ? tr("On-Line") + QLatin1Char('/') + tr("Charging") : tr("On-Line");
    return state.accumulator() ? tr("Accumulator") : tr("Battery");
}

void GeneralDeviceWidget::deviceChanged()
{
    if (m_connectedDevice)
        disconnect(m_connectedDevice, nullptr, this, nullptr);
    m_connectedDevice = device();
    // Nothing of the previous device may carry over: its update offer, its widened range.
    ui->updateSoftwarePushButton->setEnabled(false);
    ui->updateSoftwarePushButton->hide();
    ui->calibrationCoeffValueBox->setRange(kMinWritableCoefficient, kMaxWritableCoefficient);
    // The frame may re-bind before the new device is registered: nothing to show then.
    if (!m_connectedDevice)
        return;
    connect(m_connectedDevice, &Device::stateChanged, this, &GeneralDeviceWidget::OnDeviceStateChange);
    const DeviceInfo info = m_connectedDevice->deviceInfo();
    VLOG << info;
    showIdentity(info);
    if (!m_connectedDevice->state().isEmpty()) {
        OnDeviceStateChange(m_connectedDevice->state());
    } else {
        // Until the device's first state: a dash, neither the form's sample values nor the
        // previous device's state.
        for (QLabel *label : { ui->powerSourceLabel, ui->batteryLabel, ui->powerOnTimeLabel, ui->powerCyclesLabel })
            label->setText(QStringLiteral("-"));
    }
    requestNewestFirmware(info.hardwareVersion(), m_connectedDevice->platform());
    OnRefreshCalibration();
}

void GeneralDeviceWidget::deviceCleared()
{
    delete m_firmwareCheck;
    ui->updateSoftwarePushButton->setEnabled(false);
    ui->updateSoftwarePushButton->hide();
    if (m_connectedDevice)
        disconnect(m_connectedDevice, nullptr, this, nullptr);
    m_connectedDevice = nullptr;
}

void GeneralDeviceWidget::deviceDataUpdated(int id)
{
    Device *current = device();
    if (!current)
        return;
    switch (id) {
    case Device::ReadCalibration:
        OnReadCalibrationTaskResult(current->data(id));
        break;
    case Device::WriteCalibration:
        OnWriteCalibrationTaskResult(current->data(id));
        break;
    case Device::ChangePassword:
        OnChangePasswordTaskResult(current->data(id));
        break;
    default:
        break;
    }
}

void GeneralDeviceWidget::showIdentity(const DeviceInfo &info)
{
    const QString firmware = info.firmwareVersion();
    ui->currentVersionLabel->setText(firmware);
    const bool hasSerialNumber = varno::isVersionOlder(kSerialNumberFirmware, firmware)
        || varno::isVersionEqual(firmware, kSerialNumberFirmware);
    if (hasSerialNumber)
        ui->serialNumberLabel->setText(info.serialNumber());
    ui->snLabelCaption->setVisible(hasSerialNumber);
    ui->serialNumberLabel->setVisible(hasSerialNumber);
}

void GeneralDeviceWidget::OnDeviceStateChange(const DeviceState &state)
{
    ui->powerSourceLabel->setText(powerSourceText(state));
    ui->batteryLabel->setText(tr("%1 %").arg(state.battery()));
    ui->powerOnTimeLabel->setText(powerOnTimeText(state.powerOnTime()));
    ui->powerCyclesLabel->setText(QString::number(state.powerCycles()));
}

void GeneralDeviceWidget::requestNewestFirmware(const QString &product, const QString &platform)
{
    delete m_firmwareCheck;
    // Until the server answers there is no newer version to offer.
    ui->lastVersionLabel->setText(tr("Not available"));
    auto *check = new UpdateManager();
    m_firmwareCheck = check;
    connect(check, &UpdateManager::Done, this, &GeneralDeviceWidget::OnFirmwareRequestDone);
    connect(check, &UpdateManager::Fail, this, &GeneralDeviceWidget::OnFirmwareRequestFail);
    if (!check->requestReleases(product, platform, QStringLiteral("newest"))) {
        m_firmwareCheck = nullptr;
        delete check;
    }
}

void GeneralDeviceWidget::OnFirmwareRequestDone()
{
    auto *check = qobject_cast<UpdateManager *>(sender());
    if (!check)
        return;
    showNewestFirmware(check->versions());
    check->deleteLater();
}

void GeneralDeviceWidget::OnFirmwareRequestFail()
{
    if (QObject *check = sender())
        check->deleteLater();
    ui->lastVersionLabel->setText(tr("Not available"));
}

void GeneralDeviceWidget::showNewestFirmware(const QStringList &versions)
{
    if (versions.isEmpty()) {
        ui->lastVersionLabel->setText(tr("Not available"));
        return;
    }
    const QString newest = varno::newestVersion(versions);
    ui->lastVersionLabel->setText(newest);
    Device *current = device();
    if (current && varno::isVersionOlder(current->deviceInfo().firmwareVersion(), newest)) {
        ui->updateSoftwarePushButton->show();
        ui->updateSoftwarePushButton->setEnabled(true);
    }
}

void GeneralDeviceWidget::OnUpdateFirmwareClicked()
{
    const DeviceTarget target = currentTarget();
    if (!target.device)
        return;
    SoftwareUpdateDialog search(target.hardwareVersion, target.platform,
                                target.device->deviceInfo().firmwareVersion(), this,
                                QStringLiteral("newest"));
    if (search.exec() != QDialog::Accepted || !search.isDownloadReady())
        return;
    // The release fits the monitor it was found for, and no other.
    Device *current = targetStillShown(target);
    if (!current)
        return;
    FirmwareUploadDialog upload(this);
    upload.setDevice(current->name());
    upload.setFiles(search.downloadedFileDetails());
    if (upload.exec() == QDialog::Accepted)
        ui->updateSoftwarePushButton->setEnabled(false);
}

void GeneralDeviceWidget::OnFilesList(const QVariant &)
{
}

void GeneralDeviceWidget::OnRefreshCalibration()
{
    if (Device *current = device())
        current->executeCommand(Device::ReadCalibration, QVariant());
}

void GeneralDeviceWidget::OnReadCalibrationTaskResult(const QVariant &value)
{
    if (!value.isValid())
        return;
    const double coefficient = value.toDouble();
    // Show what the device holds even outside the usual range rather than a clamped value.
    QDoubleSpinBox *box = ui->calibrationCoeffValueBox;
    box->setRange(qMin(box->minimum(), coefficient), qMax(box->maximum(), coefficient));
    box->setValue(coefficient);
}

void GeneralDeviceWidget::OnWriteCalibration()
{
    const DeviceTarget target = currentTarget();
    if (!target.device)
        return;
    const double coefficient = ui->calibrationCoeffValueBox->value();
    // Compared in hundredths, as the box shows them: 1.50 typed is 1.50, whatever the binary value.
    const qint64 hundredths = qRound64(coefficient * 100);
    if (hundredths < qRound64(kMinWritableCoefficient * 100) || hundredths > qRound64(kMaxWritableCoefficient * 100)) {
        QMessageBox::warning(this, tr("Write calibration"),
                             tr("The calibration coefficient must lie between %1 and %2.")
                                 .arg(locale().toString(kMinWritableCoefficient, 'f', 2),
                                      locale().toString(kMaxWritableCoefficient, 'f', 2)),
                             QMessageBox::Ok);
        return;
    }
    QString password;
    if (!passwordForCommand(tr("Password request"), tr("Please enter a password."), &password))
        return;
    QVariantHash params;
    params.insert(QLatin1String(WriteCalibrationTask::kCoefficientKey), coefficient);
    params.insert(QLatin1String(WriteCalibrationTask::kPasswordKey), password);
    if (Device *current = targetStillShown(target))
        current->executeCommand(Device::WriteCalibration, params);
}

void GeneralDeviceWidget::OnWriteCalibrationTaskResult(const QVariant &result)
{
    if (acceptedWithPassword(result, ui->writeCalibrationButton, tr("Write calibration"),
                             tr("Calibration wasn't written because of error or wrong password.")))
        QMessageBox::information(this, tr("Write calibration"), tr("Calibration was written successfully."),
                                 QMessageBox::Ok);
}

void GeneralDeviceWidget::OnChangePassword()
{
    if (QApplication::activeModalWidget())
        return;
    const DeviceTarget target = currentTarget();
    const bool bound = !target.device.isNull();
    PasswordChangeDialog dialog(this);
    if (dialog.exec() != QDialog::Accepted || !bound)
        return;
    Device *current = targetStillShown(target);
    if (!current)
        return;
    QVariantHash params;
    params.insert(QLatin1String(ChangePasswordTask::kOldPasswordKey), dialog.oldPassword());
    params.insert(QLatin1String(ChangePasswordTask::kNewPasswordKey), dialog.newPassword());
    current->executeCommand(Device::ChangePassword, params);
}

void GeneralDeviceWidget::OnChangePasswordTaskResult(const QVariant &result)
{
    if (result.isValid() && result.toBool())
        QMessageBox::information(this, tr("Password change"), tr("Password was changed successfully."), QMessageBox::Ok);
    else
        QMessageBox::warning(this, tr("Password change"),
                             tr("Password wasn't changed because of error or wrong old password."), QMessageBox::Ok);
}
