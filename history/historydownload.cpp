#include "history/historydownload.h"

#include "device/commandhandle.h"
#include "device/device.h"
#include "history/historycommands.h"
#include "history/historyconverter.h"
#include "history/historyformat.h"
#include "link/logging.h"
#include "tasks/filereadtask.h"

#include <QDir>
#include <QFile>
#include <QVariantHash>

HistoryDownload::HistoryDownload(Device *device, QObject *parent)
    : QObject(parent)
    , m_device(device)
    , m_folder(HistoryFormat::dataDirectory())
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
    if (!m_device) {
        fail(Error::NoDevice, tr("no device is connected"));
        return true;
    }
    if (!QDir().mkpath(m_folder)) {
        fail(Error::Folder, tr("cannot create %1").arg(m_folder));
        return true;
    }
    setState(State::Listing);
    command(Device::ListFiles, {}, &HistoryDownload::OnListed);
    return true;
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

bool HistoryDownload::command(int code, const QVariantHash &params,
                              void (HistoryDownload::*next)(const TaskResult &))
{
    CommandHandle *handle = m_device ? m_device->executeCommand(code, params) : nullptr;
    if (!handle) {
        fail(Error::NoDevice, tr("the device does not take commands any more"));
        return false;
    }
    m_handle = handle;
    connect(handle, &CommandHandle::progress, this, &HistoryDownload::progress);
    connect(handle, &CommandHandle::finished, this, next);
    return true;
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
    m_valueFile = m_files.at(values);
    setState(State::ReadingIndex);
    readFile(m_files.at(index), &HistoryDownload::OnIndexRead);
}

bool HistoryDownload::readFile(const FileDescriptor &file,
                               void (HistoryDownload::*next)(const TaskResult &))
{
    QVariantHash params;
    params.insert(QLatin1String(FileReadTask::kFileDescriptorKey), QVariant::fromValue(file));
    params.insert(QLatin1String(FileReadTask::kFilePathKey), m_folder);
    return command(Device::ReadFile, params, next);
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
        VLOG << "HistoryConverter failed: " << converter->errorString();
        fail(Error::Conversion, tr("no history written: %1").arg(converter->errorString()));
        return;
    }
    m_databasePath = path;
    m_startTime = converter->startTime();
    m_endTime = converter->endTime();
    m_rowCount = converter->rowCount();
    m_repeatedHourLosses = converter->repeatedHourLosses();
    VLOG << "HistoryConverter complete";
    finish(State::Succeeded, Error::None, QString());
}

void HistoryDownload::fail(Error error, const QString &text)
{
    finish(State::Failed, error, text);
}

void HistoryDownload::finish(State state, Error error, const QString &text)
{
    if (!isRunning() && m_state != State::Idle)
        return;
    m_error = error;
    m_errorString = text;
    setState(state);
    emit finished(error);
}
