#include "update/ui/firmwareuploaddialog.h"

#include "device/device.h"
#include "device/devicemanager.h"
#include "link/logging.h"
#include "tasks/taskresult.h"

#include "ui_firmwareuploaddialog.h"

#include <QFileInfo>
#include <QTimer>
#include <QVariantHash>

FirmwareUploadDialog::FirmwareUploadDialog(QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::FirmwareUploadDialog>())
{
    ui->setupUi(this);
    setModal(true);
    setWindowModality(Qt::WindowModal);
    setWindowFlags(Qt::SplashScreen | Qt::MSWindowsFixedSizeDialogHint | Qt::FramelessWindowHint);

    m_titles.insert(Ready, tr("Ready to upload"));
    m_titles.insert(Removing, tr("Removing old"));
    m_titles.insert(Writing, tr("Writing new"));
    m_titles.insert(Succeeded, tr("Success"));
    m_titles.insert(Aborted, tr("Uploading aborted"));
    m_titles.insert(Failed, tr("Uploading failed"));
    m_descriptions.insert(
        Ready, tr("We are ready to upload new firmware.\nPlease confirm you wish to proceed."));
    m_descriptions.insert(Removing, tr("Removing old firmware files.\nThis may take a while."));
    m_descriptions.insert(Writing, tr("Writing new firmware files.\nThis may take a while."));
    m_descriptions.insert(
        Succeeded, tr("Device was updated successfully.\nPlease disconnect it from your PC or Mac."));
    m_descriptions.insert(
        Aborted, tr("Operation was aborted because the connection to the device was lost."));

    ui->progressBar->hide();
    ui->stageLabel->hide();
    setStage(Ready);
    connect(ui->proceedButton, &QPushButton::clicked, this, &FirmwareUploadDialog::proceed);
    connect(ui->cancelButton, &QPushButton::clicked, this, &FirmwareUploadDialog::reject);
    // A monitor unplugged while idle between two commands sends no dead(): only the manager knows.
    connect(DeviceManager::instance(), &DeviceManager::DeviceRemoved, this,
            [this](const QString &name) {
                if (!m_deviceName.isEmpty() && name == m_deviceName)
                    deviceRemoved();
            });
}

FirmwareUploadDialog::~FirmwareUploadDialog() = default;

void FirmwareUploadDialog::setDevice(const QString &name)
{
    if (Device *previous = DeviceManager::instance()->device(m_deviceName))
        disconnect(previous, nullptr, this, nullptr);
    m_deviceName = name;
    VLOG << "Device " << name << " set";
    Device *device = DeviceManager::instance()->device(name);
    if (!device)
        return;
    connect(device, &Device::dead, this, &FirmwareUploadDialog::deviceRemoved);
    connect(device, &Device::aborted, this, &FirmwareUploadDialog::aborted);
    connect(device, &Device::dataUpdated, this, &FirmwareUploadDialog::dataUpdated);
}

void FirmwareUploadDialog::setFiles(const QList<UpdateFile> &files)
{
    m_files = files;
}

void FirmwareUploadDialog::setStage(int stage)
{
    m_stage = stage;
    if (stage == Removing || stage == Writing) {
        ui->progressBar->setRange(0, m_upload ? (stage == Removing ? m_upload->filesToRemove().size()
                                                                   : m_upload->files().size())
                                              : 0);
        ui->progressBar->reset();
    }
    if (stage == Succeeded)
        m_success = true;
    if (stage == Succeeded || stage == Aborted || stage == Failed) {
        ui->proceedButton->setText(tr("Close"));
        ui->proceedButton->setEnabled(true);
    }
    const bool working = stage == Removing || stage == Writing;
    ui->progressBar->setVisible(working);
    ui->stageLabel->setVisible(working);
    ui->titleLabel->setText(m_titles.value(stage));
    ui->descriptionLabel->setText(stage == Failed ? m_failureText : m_descriptions.value(stage));
    emit stageChanged(stage);
}

void FirmwareUploadDialog::showProgress(int done, int total)
{
    ui->progressBar->setValue(done);
    ui->stageLabel->setText(tr("Stage: %1/%2").arg(done + 1).arg(total));
}

bool FirmwareUploadDialog::isFinished() const
{
    return m_stage == Succeeded || m_stage == Aborted || m_stage == Failed;
}

bool FirmwareUploadDialog::isWorking() const
{
    return m_upload && m_upload->isRunning();
}

void FirmwareUploadDialog::fail(const QString &text)
{
    VWARN << "Firmware upload failed: " << text;
    m_failureText = text;
    setStage(Failed);
}

void FirmwareUploadDialog::proceed()
{
    if (m_success) {
        accept();
        return;
    }
    ui->proceedButton->setEnabled(false);
    ui->cancelButton->setEnabled(false);
    ui->cancelButton->hide();
    if (m_aborted || m_stage == Failed) {
        reject();
        return;
    }
    if (m_upload)
        return;
    Device *device = DeviceManager::instance()->device(m_deviceName);
    m_upload = new FirmwareUpload(device, this);
    m_upload->setFiles(m_files);
    connect(m_upload, &FirmwareUpload::stateChanged, this, &FirmwareUploadDialog::OnUploadState);
    connect(m_upload, &FirmwareUpload::step, this, &FirmwareUploadDialog::showProgress);
    connect(m_upload, &FirmwareUpload::finished, this, &FirmwareUploadDialog::OnUploadFinished);
    m_upload->start();
}

void FirmwareUploadDialog::OnUploadState(FirmwareUpload::State state)
{
    if (isFinished())
        return;
    if (state == FirmwareUpload::State::Removing)
        setStage(Removing);
    else if (state == FirmwareUpload::State::Writing)
        setStage(Writing);
}

void FirmwareUploadDialog::OnUploadFinished(FirmwareUpload::Error error)
{
    if (isFinished() || !m_upload)
        return;
    const FirmwareUpload *upload = m_upload;
    QString reason;
    switch (upload->failedCode()) {
    case TaskResult::Error:
        reason = tr("the device reported an error");
        break;
    case TaskResult::Canceled:
        reason = tr("the command was canceled");
        break;
    case TaskResult::TimedOut:
        reason = tr("the device did not answer in time");
        break;
    case TaskResult::Refused:
        reason = upload->detail();
        break;
    default:
        reason = tr("result code %1").arg(upload->failedCode());
        break;
    }
    const QString kept
        = tr("The upload stopped there; the other files on the device were left as they are.");
    switch (error) {
    case FirmwareUpload::Error::None:
        setStage(Succeeded);
        break;
    case FirmwareUpload::Error::NoDevice:
    case FirmwareUpload::Error::Canceled:
        m_aborted = true;
        setStage(Aborted);
        break;
    case FirmwareUpload::Error::NoFiles:
        fail(tr("There are no firmware files to upload.\nNothing was changed on the device."));
        break;
    case FirmwareUpload::Error::BadFile:
        fail(upload->deviceTouched()
                 ? tr("%1\nThe upload stopped there; the other files on the device were left as "
                      "they are.")
                       .arg(upload->detail())
                 : tr("%1\nNothing was changed on the device.").arg(upload->detail()));
        break;
    case FirmwareUpload::Error::List:
        fail(upload->failedCode() == TaskResult::Successful
                 ? tr("The files on the device could not be listed.\nNothing was changed on the "
                      "device.")
                 : tr("The files on the device could not be listed: %1.\nNothing was changed on "
                      "the device.")
                       .arg(reason));
        break;
    case FirmwareUpload::Error::Remove:
        fail(tr("\"%1\" could not be removed from the device: %2.\n%3")
                 .arg(upload->failedFile(), reason, kept));
        break;
    default:
        fail(tr("\"%1\" could not be written to the device: %2.\n%3")
                 .arg(upload->failedFile(), reason, kept));
        break;
    }
}

void FirmwareUploadDialog::deviceRemoved()
{
    if (m_success) {
        accept();
        return;
    }
    m_aborted = true;
    // A failure already shown says more than the broken link that followed it.
    if (m_stage != Failed && m_stage != Aborted)
        setStage(Aborted);
}

void FirmwareUploadDialog::aborted(int reason)
{
    VWARN << "Link aborted during the firmware upload: " << reason;
    if (m_success)
        return;
    m_aborted = true;
    if (m_stage != Failed && m_stage != Aborted)
        setStage(Aborted);
}

void FirmwareUploadDialog::reject()
{
    // A device that is gone cannot be harmed any more; otherwise the upload runs to its end.
    if (isWorking() && !m_aborted)
        return;
    QDialog::reject();
}

void FirmwareUploadDialog::dataUpdated(int id)
{
    // The upload follows its own commands; the device's items are for the panels.
    VLOG << "Data updated:" << id;
}
