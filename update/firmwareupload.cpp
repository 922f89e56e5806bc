#include "update/firmwareupload.h"

#include "device/commandhandle.h"
#include "device/device.h"
#include "link/logging.h"
#include "tasks/fileremovetask.h"
#include "tasks/filewritetask.h"
#include "update/updatemanager.h"
#include "update/versioncompare.h"

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

FirmwareUpload::FirmwareUpload(Device *device, QObject *parent)
    : QObject(parent)
    , m_device(device)
    , m_serverUrl(UpdateManager::configuredServerUrl())
{
    // For queued connections and signal spies.
    qRegisterMetaType<FirmwareUpload::State>("FirmwareUpload::State");
    qRegisterMetaType<FirmwareUpload::Error>("FirmwareUpload::Error");
    if (device)
        connect(device, &QObject::destroyed, this, &FirmwareUpload::OnDeviceGone);
}

FirmwareUpload::~FirmwareUpload()
{
    if (m_handle) {
        disconnect(m_handle, nullptr, this, nullptr);
        m_handle->cancel();
    }
}

int FirmwareUpload::attributesForKind(int kind)
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

bool FirmwareUpload::isSameFile(const QString &newFileName, const FileDescriptor &deviceFile)
{
    if (newFileName.toLower() == deviceFile.fileName().toLower())
        return true;
    // An over-long local name reaches the device in its short form; that is the file it replaces.
    return FileWriteTask::deviceName(newFileName).toLower() == plainDeviceName(deviceFile).toLower();
}

void FirmwareUpload::setFiles(const QList<UpdateFile> &files)
{
    m_files = files;
    m_filesGiven = true;
}

bool FirmwareUpload::isRunning() const
{
    return m_state != State::Idle && m_state != State::Available && m_state != State::UpToDate
        && m_state != State::Succeeded && m_state != State::Failed && m_state != State::Canceled;
}

void FirmwareUpload::setState(State state)
{
    if (m_state == state)
        return;
    m_state = state;
    emit stateChanged(state);
}

bool FirmwareUpload::check()
{
    if (m_state != State::Idle)
        return false;
    m_checkOnly = true;
    m_filesGiven = false;
    return start();
}

bool FirmwareUpload::start()
{
    if (m_state != State::Idle)
        return false;
    if (m_filesGiven) {
        // Every file is checked before the device is touched, so a bad download changes nothing.
        verify();
        return true;
    }
    if (!m_device) {
        fail(Error::NoDevice);
        return true;
    }
    // A tool that never read the identity has no product to ask the server for.
    if (!m_device->deviceInfo().isRead()) {
        setState(State::Identifying);
        await(m_device->executeCommand(Device::ReadId), &FirmwareUpload::OnIdentified);
        return true;
    }
    search();
    return true;
}

void FirmwareUpload::await(CommandHandle *handle, void (FirmwareUpload::*next)(const TaskResult &))
{
    m_handle = follow(handle, this, next, &FirmwareUpload::progress);
    if (!m_handle)
        fail(Error::NoDevice);
}

void FirmwareUpload::commandFailed(const TaskResult &result, Error error, const QString &file)
{
    if (!m_device || result.code() == TaskResult::Aborted) {
        fail(Error::NoDevice, file, result.code());
        return;
    }
    if (m_cancelRequested && result.code() == TaskResult::Canceled) {
        finish(State::Canceled, Error::Canceled);
        return;
    }
    fail(error, file, result.code(), result.message());
}

bool FirmwareUpload::stopIfCanceled()
{
    if (!m_cancelRequested)
        return false;
    finish(State::Canceled, Error::Canceled);
    return true;
}

void FirmwareUpload::OnIdentified(const TaskResult &result)
{
    m_handle = nullptr;
    if (result.code() != TaskResult::Successful || !result.data().canConvert<DeviceInfo>()) {
        commandFailed(result, Error::Identity, QString());
        return;
    }
    if (stopIfCanceled())
        return;
    if (!m_device) {
        fail(Error::NoDevice);
        return;
    }
    m_device->setDeviceInfo(result.data().value<DeviceInfo>());
    search();
}

void FirmwareUpload::search()
{
    const DeviceInfo info = m_device->deviceInfo();
    m_currentVersion = info.firmwareVersion();
    setState(State::Searching);
    m_manager = new UpdateManager(this);
    m_manager->setServerUrl(m_serverUrl);
    connect(m_manager, &UpdateManager::Done, this, &FirmwareUpload::OnManagerDone);
    connect(m_manager, &UpdateManager::Fail, this, &FirmwareUpload::OnManagerFail);
    connect(m_manager, &UpdateManager::FileStarted, this, [this](const QString &name, int, int) {
        m_downloading = name;
        emit progress(name, 0);
    });
    connect(m_manager, &UpdateManager::Progress, this, [this](qint64 received, qint64 total) {
        emit progress(m_downloading, total > 0 ? int(received * 100 / total) : -1);
    });
    if (!m_manager->requestReleases(info.hardwareVersion(), m_device->platform(),
                                    QStringLiteral("newest")))
        fail(Error::Server);
}

void FirmwareUpload::OnManagerDone()
{
    if (m_state == State::Searching) {
        m_newest = m_manager->newestRelease();
        if (m_newest.id.isEmpty()) {
            fail(Error::NoRelease);
            return;
        }
        if (!varno::isVersionOlder(m_currentVersion, m_newest.version)) {
            finish(State::UpToDate, Error::None);
            return;
        }
        if (m_checkOnly) {
            finish(State::Available, Error::None);
            return;
        }
        if (stopIfCanceled())
            return;
        setState(State::Downloading);
        if (!m_manager->downloadRelease(m_newest.id))
            fail(Error::Download);
    } else if (m_state == State::Downloading) {
        m_files = m_manager->downloadedFileDetails();
        if (stopIfCanceled())
            return;
        verify();
    }
}

void FirmwareUpload::OnManagerFail()
{
    if (m_state != State::Searching && m_state != State::Downloading)
        return;
    if (m_manager->error() == UpdateManager::Error::Canceled) {
        finish(State::Canceled, Error::Canceled);
        return;
    }
    fail(m_state == State::Searching ? Error::Server : Error::Download, QString(), -1,
         m_manager->errorString());
}

void FirmwareUpload::verify()
{
    setState(State::Verifying);
    if (m_files.isEmpty()) {
        fail(Error::NoFiles);
        return;
    }
    for (const UpdateFile &file : qAsConst(m_files)) {
        QString error;
        if (!UpdateManager::verifyDownloadedFile(file, &error)) {
            fail(Error::BadFile, file.name, -1, error);
            return;
        }
    }
    if (!m_device) {
        fail(Error::NoDevice);
        return;
    }
    setState(State::Listing);
    await(m_device->executeCommand(Device::ListFiles), &FirmwareUpload::OnListed);
}

void FirmwareUpload::OnListed(const TaskResult &result)
{
    m_handle = nullptr;
    if (result.code() != TaskResult::Successful || !result.data().isValid()) {
        commandFailed(result, Error::List, QString());
        return;
    }
    if (stopIfCanceled())
        return;
    m_filesToRemove.clear();
    QList<quint32> handles;
    const QVariantList listing = result.data().toList();
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
    if (m_confirmRemoval) {
        setState(State::Confirming);
        return;
    }
    startRemoving();
}

void FirmwareUpload::proceed()
{
    if (m_state != State::Confirming)
        return;
    // Not from inside the caller's handling of stateChanged(): go on from the event loop.
    QTimer::singleShot(0, this, [this] {
        if (m_state != State::Confirming)
            return;
        if (!m_device) {
            fail(Error::NoDevice);
            return;
        }
        startRemoving();
    });
}

void FirmwareUpload::startRemoving()
{
    setState(State::Removing);
    removeNext();
}

void FirmwareUpload::removeNext()
{
    emit step(m_removeIndex, m_filesToRemove.size());
    QVariantHash params;
    params.insert(QLatin1String(FileRemoveTask::kFileDescriptorKey),
                  QVariant::fromValue(m_filesToRemove.at(m_removeIndex)));
    m_touched = true;
    await(m_device ? m_device->executeCommand(Device::RemoveFile, params) : nullptr,
          &FirmwareUpload::OnRemoved);
}

void FirmwareUpload::OnRemoved(const TaskResult &result)
{
    m_handle = nullptr;
    const QString name = m_filesToRemove.value(m_removeIndex).fileName();
    if (result.code() != TaskResult::Successful || !result.data().isValid()) {
        commandFailed(result, Error::Remove, name);
        return;
    }
    if (stopIfCanceled())
        return;
    ++m_removeIndex;
    if (m_removeIndex >= m_filesToRemove.size()) {
        startWriting();
        return;
    }
    removeNext();
}

void FirmwareUpload::startWriting()
{
    setState(State::Writing);
    writeNext();
}

void FirmwareUpload::writeNext()
{
    emit step(m_writeIndex, m_files.size());
    const UpdateFile &file = m_files.at(m_writeIndex);
    // Checked again right before it goes out: the file may have changed since the upload began.
    QString error;
    if (!UpdateManager::verifyDownloadedFile(file, &error)) {
        fail(Error::BadFile, file.name, -1, error);
        return;
    }
    QVariantHash params;
    params.insert(QLatin1String(FileWriteTask::kFileInfoKey),
                  QVariant::fromValue(QFileInfo(UpdateManager::localPath(file.name))));
    const int attributes = attributesForKind(file.kind);
    if (attributes >= 0)
        params.insert(QLatin1String(FileWriteTask::kFileAttributesKey), uint(attributes));
    m_touched = true;
    await(m_device ? m_device->executeCommand(Device::WriteFile, params) : nullptr,
          &FirmwareUpload::OnWritten);
}

void FirmwareUpload::OnWritten(const TaskResult &result)
{
    m_handle = nullptr;
    const QString name = m_files.value(m_writeIndex).name;
    if (result.code() != TaskResult::Successful || !result.data().toBool()) {
        commandFailed(result, Error::Write, name);
        return;
    }
    ++m_writeIndex;
    if (m_writeIndex >= m_files.size()) {
        finish(State::Succeeded, Error::None);
        return;
    }
    if (stopIfCanceled())
        return;
    writeNext();
}

void FirmwareUpload::OnDeviceGone()
{
    // A command under way reports the loss itself; between commands nobody else would.
    if (m_state == State::Confirming || (isRunning() && !m_handle && m_state != State::Searching
                                         && m_state != State::Downloading))
        fail(Error::NoDevice);
}

void FirmwareUpload::cancel()
{
    if (!isRunning() || m_cancelRequested)
        return;
    m_cancelRequested = true;
    switch (m_state) {
    case State::Searching:
    case State::Downloading:
        if (m_manager)
            m_manager->cancel();
        break;
    case State::Confirming:
        finish(State::Canceled, Error::Canceled);
        break;
    case State::Identifying:
    case State::Listing:
        // Nothing changed on the device yet: the command can go at once.
        if (m_handle)
            m_handle->cancel();
        break;
    default:
        break;
    }
}

void FirmwareUpload::fail(Error error, const QString &file, int code, const QString &detail)
{
    m_failedFile = file;
    m_failedCode = code;
    m_detail = detail;
    VWARN << "Firmware upload failed: " << int(error) << ' ' << file << ' ' << detail;
    finish(State::Failed, error);
}

void FirmwareUpload::finish(State state, Error error)
{
    if (!isRunning() && m_state != State::Idle)
        return;
    m_error = error;
    if (m_manager)
        m_manager->disconnect(this);
    setState(state);
    emit finished(error);
}
