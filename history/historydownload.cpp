#include "history/historydownload.h"

#include "device/commandhandle.h"
#include "device/device.h"
#include "history/historycommands.h"
#include "history/historyconverter.h"
#include "history/filereader.h"
#include "history/historyfilereader.h"
#include "history/historyformat.h"
#include "history/provenance.h"
#include "link/logging.h"
#include "tasks/filereadtask.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QVariantHash>

#include <cerrno>

HistoryDownload::HistoryDownload(Device *device, QObject *parent)
    : QObject(parent)
    , m_device(device)
{
    // For queued connections and signal spies.
    qRegisterMetaType<HistoryDownload::State>("HistoryDownload::State");
    qRegisterMetaType<HistoryDownload::Error>("HistoryDownload::Error");
}

HistoryDownload::~HistoryDownload()
{
    if (m_handle) {
        disconnect(m_handle, nullptr, this, nullptr);
        m_handle->cancel();
    }
    if (m_converter) {
        // The converter is our child: it must not be destroyed while its thread runs.
        disconnect(m_converter, nullptr, this, nullptr);
        m_converter->cancel();
        m_converter->wait();
    }
}

bool HistoryDownload::isRunning() const
{
    return m_state != State::Idle && m_state != State::Succeeded && m_state != State::Failed
        && m_state != State::Canceled;
}

bool HistoryDownload::start()
{
    if (m_state != State::Idle)
        return false;
    m_startedUtc = QDateTime::currentDateTimeUtc();
    if (!m_device) {
        fail(Error::NoDevice, tr("no device is connected"));
        return true;
    }
    setState(State::Identifying);
    // The provenance names the monitor; the program knows it already, varnoctl asks.
    if (!m_device->deviceInfo().isRead())
        await(m_device->executeCommand(Device::ReadId), &HistoryDownload::OnIdentified);
    else
        readCalibration();
    return true;
}

void HistoryDownload::OnIdentified(const TaskResult &result)
{
    m_handle = nullptr;
    if (result.code() != TaskResult::Successful || !result.data().canConvert<DeviceInfo>()) {
        commandFailed(result, Error::Identity, tr("the monitor's identity could not be read"));
        return;
    }
    if (m_cancelRequested) {
        finish(State::Canceled, Error::Canceled, tr("canceled"));
        return;
    }
    if (m_device)
        m_device->setDeviceInfo(result.data().value<DeviceInfo>());
    readCalibration();
}

void HistoryDownload::readCalibration()
{
    if (m_device && !m_device->data(Device::ReadCalibration).isValid())
        await(m_device->executeCommand(Device::ReadCalibration), &HistoryDownload::OnCalibrationRead);
    else
        list();
}

void HistoryDownload::OnCalibrationRead(const TaskResult &result)
{
    m_handle = nullptr;
    // An unknown calibration is recorded as such; it does not stop the download.
    if (result.code() != TaskResult::Successful && result.code() != TaskResult::Error) {
        commandFailed(result, Error::Identity, tr("the calibration could not be read"));
        return;
    }
    if (m_cancelRequested) {
        finish(State::Canceled, Error::Canceled, tr("canceled"));
        return;
    }
    list();
}

QString HistoryDownload::historyDirectory() const
{
    if (!m_outputFile.isEmpty())
        return QFileInfo(m_outputFile).absolutePath();
    return m_outputDirectory.isEmpty() ? HistoryFormat::dataDirectory() : m_outputDirectory;
}

QString HistoryDownload::rawFolderName(const QDateTime &startedUtc, const QString &serial)
{
    QString safe = QString(serial).remove(QChar(0)).trimmed();
    safe.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9._-]")), QStringLiteral("_"));
    if (safe.isEmpty() || safe.startsWith(QLatin1Char('.')))
        safe.prepend(QStringLiteral("unknown"));
    return startedUtc.toUTC().toString(QStringLiteral("yyyy-MM-dd'T'HH-mm-ss'Z'_")) + safe;
}

bool HistoryDownload::makeRawFolder()
{
    const QString parent = historyDirectory();
    errno = 0;
    if (!QDir().mkpath(parent)) {
        fail(Error::Folder, tr("Could not create the folder %1: %2")
                                    .arg(QDir::toNativeSeparators(parent), systemReason()));
        return false;
    }
    const QString name = rawFolderName(m_startedUtc, m_device->deviceInfo().serialNumber());
    // mkdir fails on an existing folder: an earlier download's files are never written over.
    for (int attempt = 1; attempt < 1000; ++attempt) {
        const QString candidate = QDir(parent).filePath(
            attempt == 1 ? name : QStringLiteral("%1-%2").arg(name).arg(attempt));
        if (QFileInfo::exists(candidate))
            continue;
        errno = 0;
        if (QDir().mkdir(candidate)) {
            m_folder = candidate;
            return true;
        }
        fail(Error::Folder, tr("Could not create a folder for the statistics in %1: %2")
                                    .arg(QDir::toNativeSeparators(parent), systemReason()));
        return false;
    }
    fail(Error::Folder, tr("Could not create a folder for the statistics in %1: %2")
                                .arg(QDir::toNativeSeparators(parent), tr("too many folders of the same name")));
    return false;
}

QString HistoryDownload::systemReason()
{
    return errno != 0 ? qt_error_string(errno) : tr("reason unknown");
}

void HistoryDownload::retireRawFolder(const QString &why)
{
    if (m_folder.isEmpty() || QDir().rmdir(m_folder))
        return;
    // Files arrived before the run stopped. They are kept, as saved files always were, but under a
    // name no one takes for a finished download.
    const QString base = m_folder + QLatin1String(kIncompleteSuffix);
    for (int attempt = 1; attempt < 1000; ++attempt) {
        const QString target = attempt == 1 ? base : QStringLiteral("%1-%2").arg(base).arg(attempt);
        if (QFileInfo::exists(target))
            continue;
        if (!QDir().rename(m_folder, target)) {
            VLOG << "Could not rename " << m_folder << " to " << target;
            break;
        }
        m_folder = target;
        break;
    }
    // Best effort: on a full disk the note may not fit, the name says enough.
    QFile note(QDir(m_folder).filePath(QLatin1String(kIncompleteNote)));
    if (note.open(QIODevice::WriteOnly | QIODevice::Text)) {
        note.write(tr("This download of the monitor's statistics did not finish: %1\n"
                      "The files here are what had arrived by then. No history was made from them "
                      "and nothing was removed from the monitor.\n")
                           .arg(why)
                           .toUtf8());
        note.close();
    }
}

void HistoryDownload::list()
{
    if (!m_device) {
        fail(Error::NoDevice, tr("the device went away"));
        return;
    }
    if (!makeRawFolder())
        return;
    setState(State::Listing);
    await(m_device->executeCommand(Device::ListFiles), &HistoryDownload::OnListed);
}

void HistoryDownload::cancel()
{
    if (!isRunning() || m_cancelRequested)
        return;
    m_cancelRequested = true;
    if (m_handle)
        m_handle->cancel();
    if (m_converter)
        m_converter->cancel();
}

void HistoryDownload::setState(State state)
{
    if (m_state == state)
        return;
    m_state = state;
    emit stateChanged(state);
}

void HistoryDownload::await(CommandHandle *handle, void (HistoryDownload::*next)(const TaskResult &))
{
    m_handle = follow(handle, this, next, &HistoryDownload::progress);
    if (!m_handle)
        fail(Error::NoDevice, tr("the device does not take commands any more"));
}

void HistoryDownload::commandFailed(const TaskResult &result, Error error, const QString &text)
{
    m_failedCode = result.code();
    if (m_cancelRequested) {
        finish(State::Canceled, Error::Canceled, tr("canceled"));
        return;
    }
    if (!m_device || result.code() == TaskResult::Aborted) {
        fail(Error::NoDevice, tr("the device went away"));
        return;
    }
    // The device sent the file; saving it here failed, and the task says where and why.
    if (result.code() == TaskResult::Error && !result.message().isEmpty()) {
        fail(Error::Save, result.message());
        return;
    }
    fail(error, result.code() == TaskResult::TimedOut ? tr("%1: the device did not answer in time").arg(text)
                                                      : text);
}

void HistoryDownload::OnListed(const TaskResult &result)
{
    m_handle = nullptr;
    if (result.code() != TaskResult::Successful || !result.data().isValid()) {
        commandFailed(result, Error::List, tr("the files on the device could not be listed"));
        return;
    }
    if (m_cancelRequested) {
        finish(State::Canceled, Error::Canceled, tr("canceled"));
        return;
    }
    m_files.clear();
    QStringList names;
    const QVariantList listing = result.data().toList();
    for (const QVariant &entry : listing) {
        const FileDescriptor file = entry.value<FileDescriptor>();
        if (!file.isValid())
            continue;
        m_files.append(file);
        names.append(file.fileName());
    }
    const int index = HistoryCommands::findDeviceFile(names, HistoryFormat::kIndexFileName);
    const int values = HistoryCommands::findDeviceFile(names, HistoryFormat::kValueFileName);
    if (index < 0 || values < 0) {
        const QString missing = index < 0 ? HistoryFormat::kIndexFileName : HistoryFormat::kValueFileName;
        fail(Error::Missing, tr("there is no %1 on the device").arg(missing.toUpper()));
        return;
    }
    m_indexFile = m_files.at(index);
    m_valueFile = m_files.at(values);
    setState(State::ReadingIndex);
    readFile(m_files.at(index), &HistoryDownload::OnIndexRead);
}

void HistoryDownload::readFile(const FileDescriptor &file,
                               void (HistoryDownload::*next)(const TaskResult &))
{
    QVariantHash params;
    params.insert(QLatin1String(FileReadTask::kFileDescriptorKey), QVariant::fromValue(file));
    params.insert(QLatin1String(FileReadTask::kFilePathKey), m_folder);
    await(m_device ? m_device->executeCommand(Device::ReadFile, params) : nullptr, next);
}

void HistoryDownload::OnIndexRead(const TaskResult &result)
{
    m_handle = nullptr;
    if (result.code() != TaskResult::Successful || result.data().toString().isEmpty()) {
        commandFailed(result, Error::Read,
                      tr("the device did not send %1").arg(HistoryFormat::kIndexFileName.toUpper()));
        return;
    }
    if (m_cancelRequested) {
        finish(State::Canceled, Error::Canceled, tr("canceled"));
        return;
    }
    // Saved under the device's own name (upper case): that copy is the one to convert.
    m_indexPath = QDir(m_folder).filePath(result.data().toString());
    setState(State::ReadingValues);
    readFile(m_valueFile, &HistoryDownload::OnValuesRead);
}

void HistoryDownload::OnValuesRead(const TaskResult &result)
{
    m_handle = nullptr;
    if (result.code() != TaskResult::Successful || result.data().toString().isEmpty()) {
        commandFailed(result, Error::Read,
                      tr("the device did not send %1").arg(HistoryFormat::kValueFileName.toUpper()));
        return;
    }
    if (m_cancelRequested) {
        finish(State::Canceled, Error::Canceled, tr("canceled"));
        return;
    }
    m_valuePath = QDir(m_folder).filePath(result.data().toString());
    setState(State::Converting);
    auto *converter = new HistoryConverter(this);
    m_converter = converter;
    converter->setIndexFile(m_indexPath);
    converter->setValueFile(m_valuePath);
    if (!m_outputFile.isEmpty())
        converter->setOutputFile(m_outputFile);
    if (!m_outputDirectory.isEmpty())
        converter->setOutputDirectory(m_outputDirectory);
    connect(converter, &HistoryConverter::progress, this, &HistoryDownload::progress);
    connect(converter, &QThread::finished, this, &HistoryDownload::OnConverted);
    converter->start();
}

void HistoryDownload::OnConverted()
{
    HistoryConverter *converter = m_converter;
    if (!converter)
        return;
    m_converter = nullptr;
    converter->deleteLater();
    const QString path = converter->databasePath();
    if (m_cancelRequested || converter->wasCancelled()) {
        // The user stopped it; a history they did not wait for is not left behind.
        if (!path.isEmpty())
            QFile::remove(path);
        finish(State::Canceled, Error::Canceled, tr("canceled"));
        return;
    }
    if (path.isEmpty()) {
        VWARN << "HistoryConverter failed: " << converter->errorString();
        fail(Error::Conversion, tr("no history written: %1").arg(converter->errorString()));
        return;
    }
    m_databasePath = path;
    m_startTime = converter->startTime();
    m_endTime = converter->endTime();
    m_rowCount = converter->rowCount();
    m_repeatedHourLosses = converter->repeatedHourLosses();
    VLOG << "HistoryConverter complete";
    recordProvenance(converter);
    verify();
    finish(State::Succeeded, Error::None, QString());
}

void HistoryDownload::recordProvenance(const HistoryConverter *converter)
{
    const DeviceInfo info = m_device ? m_device->deviceInfo() : DeviceInfo();
    const QVariant calibration = m_device ? m_device->data(Device::ReadCalibration) : QVariant();
    const HistoryFileReader *history = converter->reader();
    const FileReader *reader = history ? history->reader() : nullptr;
    const int kept = history ? history->count() : 0;
    const int superseded = reader ? reader->supersededRecords() : 0;
    const auto clean = [](QString text) { return text.remove(QChar(0)).trimmed(); };
    const auto utc = [](const QDateTime &time) { return time.toUTC().toString(Qt::ISODate); };
    m_provenance = {
        { QStringLiteral("device_id"), clean(info.deviceId()) },
        { QStringLiteral("serial"), clean(info.serialNumber()) },
        { QStringLiteral("firmware"), info.firmwareVersion() },
        { QStringLiteral("hardware"), info.hardwareVersion() },
        { QStringLiteral("calibration"),
          calibration.isValid() ? QString::number(calibration.toDouble(), 'f', 2) : QString() },
        { QStringLiteral("program"), QCoreApplication::applicationName() },
        { QStringLiteral("program_version"), QStringLiteral(VARNO_VERSION) },
        { QStringLiteral("started_utc"), utc(m_startedUtc) },
        { QStringLiteral("finished_utc"), utc(QDateTime::currentDateTimeUtc()) },
        { QStringLiteral("raw_folder"), QFileInfo(m_folder).fileName() },
        { QStringLiteral("meastime_size"), QString::number(QFileInfo(m_indexPath).size()) },
        { QStringLiteral("measure_size"), QString::number(QFileInfo(m_valuePath).size()) },
        { QStringLiteral("meastime_sha256"), Provenance::sha256(m_indexPath) },
        { QStringLiteral("measure_sha256"), Provenance::sha256(m_valuePath) },
        { QStringLiteral("records_read"), QString::number(kept + superseded) },
        { QStringLiteral("records_written"), QString::number(m_rowCount) },
        { QStringLiteral("records_superseded"), QString::number(superseded) },
        // The table keys on local time: of two readings at one local time in the hour the
        // clocks repeat, the second is not stored.
        { QStringLiteral("records_repeated_hour"), QString::number(m_repeatedHourLosses) },
    };
}

void HistoryDownload::verify()
{
    m_verification = Verification();
    m_verification.serial = m_device ? m_device->deviceInfo().serialNumber().remove(QChar(0)).trimmed()
                                     : QString();
    m_verification.indexFile = m_indexFile;
    m_verification.valueFile = m_valueFile;
    QString &reason = m_verification.reason;
    const struct
    {
        const FileDescriptor &listed;
        const QString &path;
    } files[] = { { m_indexFile, m_indexPath }, { m_valueFile, m_valuePath } };
    for (const auto &file : files) {
        const qint64 saved = QFileInfo(file.path).size();
        if (saved != qint64(file.listed.size())) {
            reason = tr("%1 was saved with %2 bytes, the monitor listed %3")
                         .arg(file.listed.fileName()).arg(saved).arg(file.listed.size());
            return;
        }
    }
    QString error;
    if (!Provenance::write(m_databasePath, m_provenance, &error)) {
        reason = tr("the provenance could not be written into the history: %1").arg(error);
        return;
    }
    const qint64 records = Provenance::countRecords(m_databasePath, &error);
    if (records < 0) {
        reason = tr("the history could not be opened again: %1").arg(error);
        return;
    }
    if (records != m_rowCount) {
        reason = tr("the history holds %1 records, the conversion wrote %2").arg(records).arg(m_rowCount);
        return;
    }
    m_verification.verified = true;
}

void HistoryDownload::fail(Error error, const QString &text)
{
    finish(State::Failed, error, text);
}

void HistoryDownload::finish(State state, Error error, const QString &text)
{
    if (!isRunning() && m_state != State::Idle)
        return;
    if (state != State::Succeeded)
        retireRawFolder(text);
    m_error = error;
    m_errorString = text;
    setState(state);
    emit finished(error);
}
