#include "update/firmwareuploaddialog.h"

#include "device/device.h"
#include "device/devicemanager.h"
#include "link/logging.h"
#include "tasks/fileremovetask.h"
#include "tasks/filewritetask.h"
#include "tasks/taskmanager.h"
#include "tasks/taskresult.h"
#include "tasks/taskscheduler.h"
#include "update/updatemanager.h"

#include "ui_firmwareuploaddialog.h"

#include <QFileInfo>
#include <QTimer>
#include <QVariantHash>

namespace {

// The name and extension of a device file as one "NAME.EXT" (no dot without an extension), the way
// a local name turns into a device name.
QString plainDeviceName(const FileDescriptor &file)
{
    const QString extension = file.extension();
    return extension.isEmpty() ? file.name() : file.name() + QLatin1Char('.') + extension;
}

} // namespace

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
        Succeeded, tr("Device was updated successful.\nPlease disconnect it from your PC or Mac."));
    m_descriptions.insert(
        Aborted, tr("Operation was aborted because device communication channel were broken."));

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

int FirmwareUploadDialog::attributesForKind(int kind)
{
    switch (kind) {
    case 0:
        return kFirmwareImageAttributes;
    case 1:
    case 2:
        return kSystemFileAttributes;
    default:
        return -1;
    }
}

bool FirmwareUploadDialog::isSameFile(const QString &newFileName, const FileDescriptor &deviceFile)
{
    if (newFileName.toLower() == deviceFile.fileName().toLower())
        return true;
    // An over-long local name reaches the device in its short form; that is the file it replaces.
    return FileWriteTask::deviceName(newFileName).toLower()
        == plainDeviceName(deviceFile).toLower();
}

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
    if (stage == Removing)
        ui->progressBar->setRange(0, m_filesToRemove.size());
    else if (stage == Writing)
        ui->progressBar->setRange(0, m_files.size());
    if (stage == Removing || stage == Writing)
        ui->progressBar->reset();
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

void FirmwareUploadDialog::fail(const QString &text)
{
    VLOG << "Firmware upload failed: " << text;
    m_pendingCommand = -1;
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
    if (m_pendingCommand != -1)
        return;
    // Every file is checked before the device is touched, so a bad download changes nothing there.
    if (!verifyFiles())
        return;
    if (!DeviceManager::instance()->device(m_deviceName)) {
        deviceRemoved();
        return;
    }
    sendCommand(Device::ListFiles, QVariant());
}

bool FirmwareUploadDialog::verifyFiles()
{
    if (m_files.isEmpty()) {
        fail(tr("There are no firmware files to upload.\nNothing was changed on the device."));
        return false;
    }
    for (const UpdateFile &file : qAsConst(m_files)) {
        QString error;
        if (!UpdateManager::verifyDownloadedFile(file, &error)) {
            fail(tr("%1\nNothing was changed on the device.").arg(error));
            return false;
        }
    }
    return true;
}

bool FirmwareUploadDialog::sendCommand(int code, const QVariant &params)
{
    Device *device = DeviceManager::instance()->device(m_deviceName);
    if (!device) {
        deviceRemoved();
        return false;
    }
    m_pendingCommand = code;
    // A failed command leaves no data item behind, so its outcome is taken from the device's task
    // queue. A task that ends at once reports before executeCommand() returns: connect first.
    const auto watchQueue = [this] {
        if (TaskScheduler *scheduler = TaskManager::instance()->scheduler(m_deviceName))
            connect(scheduler, &TaskScheduler::taskComplete, this,
                    &FirmwareUploadDialog::OnTaskComplete, Qt::UniqueConnection);
    };
    watchQueue();
    if (!device->executeCommand(code, params)) {
        // Only a closed queue refuses a known command, and only a broken link closes it.
        m_pendingCommand = -1;
        aborted(0);
        return false;
    }
    watchQueue();
    return true;
}

void FirmwareUploadDialog::OnTaskComplete(const TaskResult &result)
{
    if (isFinished() || result.dataId() != m_pendingCommand
        || result.code() == TaskResult::Successful)
        return;
    // An unplugged monitor's queue is discarded (canceling its task) just before the manager
    // announces the removal: judge once that announcement had its chance.
    const int command = m_pendingCommand;
    const int code = result.code();
    QTimer::singleShot(0, this, [this, command, code] { commandFailed(command, code); });
}

void FirmwareUploadDialog::commandFailed(int command, int code)
{
    if (isFinished() || command != m_pendingCommand)
        return;
    if (code == TaskResult::Aborted || !DeviceManager::instance()->device(m_deviceName)) {
        aborted(0);
        return;
    }
    QString reason;
    switch (code) {
    case TaskResult::Error:
        reason = tr("the device reported an error");
        break;
    case TaskResult::Canceled:
        reason = tr("the command was canceled");
        break;
    case TaskResult::TimedOut:
        reason = tr("the device did not answer in time");
        break;
    default:
        reason = tr("result code %1").arg(code);
        break;
    }
    const QString kept
        = tr("The upload stopped there; the other files on the device were left as they are.");
    switch (command) {
    case Device::ListFiles:
        fail(tr("The files on the device could not be listed: %1.\nNothing was changed on the "
                "device.")
                 .arg(reason));
        break;
    case Device::RemoveFile:
        fail(tr("\"%1\" could not be removed from the device: %2.\n%3")
                 .arg(m_filesToRemove.value(m_removeIndex).fileName(), reason, kept));
        break;
    case Device::WriteFile:
        fail(tr("\"%1\" could not be written to the device: %2.\n%3")
                 .arg(m_files.value(m_writeIndex).name, reason, kept));
        break;
    default:
        break;
    }
}

void FirmwareUploadDialog::dataUpdated(int id)
{
    VLOG << "Data updated:" << id;
    Device *device = DeviceManager::instance()->device(m_deviceName);
    if (!device)
        return;
    // Results of commands the upload did not ask for (another page listing files) are not its own.
    if ((sender() && sender() != device) || isFinished() || id != m_pendingCommand)
        return;
    m_pendingCommand = -1;
    switch (id) {
    case Device::ListFiles:
        listed(device->data(id));
        break;
    case Device::RemoveFile:
        removed(device->data(id));
        break;
    case Device::WriteFile:
        written(device->data(id));
        break;
    default:
        break;
    }
}

void FirmwareUploadDialog::listed(const QVariant &value)
{
    if (!value.isValid()) {
        fail(
            tr("The files on the device could not be listed.\nNothing was changed on the device."));
        return;
    }
    m_filesToRemove.clear();
    QList<quint32> handles;
    const QVariantList listing = value.toList();
    for (const UpdateFile &file : qAsConst(m_files)) {
        for (const QVariant &entry : listing) {
            const FileDescriptor descriptor = entry.value<FileDescriptor>();
            // A descriptor cut short names no file; one matched twice is removed once.
            if (!descriptor.isValid() || handles.contains(descriptor.handle()))
                continue;
            if (isSameFile(file.name, descriptor)) {
                m_filesToRemove.append(descriptor);
                handles.append(descriptor.handle());
            }
        }
    }
    if (m_filesToRemove.isEmpty()) {
        startWriting();
        return;
    }
    setStage(Removing);
    showProgress(m_removeIndex, m_filesToRemove.size());
    removeFile(m_removeIndex);
}

void FirmwareUploadDialog::removeFile(int index)
{
    QVariantHash params;
    params.insert(QLatin1String(FileRemoveTask::kFileDescriptorKey),
                  QVariant::fromValue(m_filesToRemove.at(index)));
    sendCommand(Device::RemoveFile, params);
}

void FirmwareUploadDialog::removed(const QVariant &value)
{
    if (!value.isValid()) {
        fail(tr("\"%1\" could not be removed from the device.\nThe upload stopped there; the other "
                "files on the "
                "device were left as they are.")
                 .arg(m_filesToRemove.value(m_removeIndex).fileName()));
        return;
    }
    ++m_removeIndex;
    if (m_removeIndex >= m_filesToRemove.size()) {
        startWriting();
        return;
    }
    showProgress(m_removeIndex, m_filesToRemove.size());
    removeFile(m_removeIndex);
}

void FirmwareUploadDialog::startWriting()
{
    setStage(Writing);
    showProgress(m_writeIndex, m_files.size());
    writeFile(m_writeIndex);
}

void FirmwareUploadDialog::writeFile(int index)
{
    const UpdateFile &file = m_files.at(index);
    // Checked again right before it goes out: the file may have changed since the upload began.
    QString error;
    if (!UpdateManager::verifyDownloadedFile(file, &error)) {
        fail(
            tr("%1\nThe upload stopped there; the other files on the device were left as they are.")
                .arg(error));
        return;
    }
    QVariantHash params;
    params.insert(QLatin1String(FileWriteTask::kFileInfoKey),
                  QVariant::fromValue(QFileInfo(UpdateManager::localPath(file.name))));
    const int attributes = attributesForKind(file.kind);
    if (attributes >= 0)
        params.insert(QLatin1String(FileWriteTask::kFileAttributesKey), uint(attributes));
    sendCommand(Device::WriteFile, params);
}

void FirmwareUploadDialog::written(const QVariant &value)
{
    if (!value.isValid() || !value.toBool()) {
        fail(tr("\"%1\" could not be written to the device.\nThe upload stopped there; the other "
                "files on the "
                "device were left as they are.")
                 .arg(m_files.value(m_writeIndex).name));
        return;
    }
    ++m_writeIndex;
    if (m_writeIndex >= m_files.size()) {
        setStage(Succeeded);
        return;
    }
    showProgress(m_writeIndex, m_files.size());
    writeFile(m_writeIndex);
}

void FirmwareUploadDialog::deviceRemoved()
{
    if (m_success) {
        accept();
        return;
    }
    m_pendingCommand = -1;
    m_aborted = true;
    // A failure already shown says more than the broken link that followed it.
    if (m_stage != Failed && m_stage != Aborted)
        setStage(Aborted);
}

void FirmwareUploadDialog::aborted(int reason)
{
    VLOG << "Link aborted during the firmware upload: " << reason;
    if (m_success)
        return;
    m_pendingCommand = -1;
    m_aborted = true;
    if (m_stage != Failed && m_stage != Aborted)
        setStage(Aborted);
}

void FirmwareUploadDialog::reject()
{
    if (m_pendingCommand != -1)
        return;
    QDialog::reject();
}
