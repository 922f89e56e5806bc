#include "tasks/filereadtask.h"

#include "link/logging.h"

#include <QDir>
#include <QSaveFile>
#include <QtEndian>

FileReadTask::FileReadTask(CommandTarget *device, const FileDescriptor &file, const QString &folder,
                           QObject *parent)
    : DeviceTask(device, QStringLiteral("Read File"), kCommand, kTimeoutMs, Shown, parent)
    , m_file(file)
    , m_folder(folder)
{
}

bool FileReadTask::isSafeFileName(const QString &name)
{
    if (name.isEmpty() || name == QLatin1String(".") || name.contains(QLatin1Char('/'))
        || name.contains(QLatin1Char('\\')) || name.contains(QLatin1String("..")))
        return false;
    for (QChar c : name) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F || c.category() == QChar::Other_Control)
            return false;
    }
    return true;
}

QByteArray FileReadTask::request() const
{
    QByteArray message(1, char(kCommand));
    char handle[4];
    qToBigEndian<quint32>(m_file.handle(), handle);
    message.append(handle, 4);
    return message;
}

bool FileReadTask::sendRequest()
{
    reportProgress(tr("Reading file"), 0);
    m_expectedLength = int(qMin<qint64>(qint64(m_file.size()) + kHeaderBytes, INT_MAX));
    if (!m_file.isValid())
        return refuse(QVariant(), tr("no device file was named to read"));
    if (m_file.size() > 0) {
        sendMessage(request());
        return true;
    }
    // Nothing to ask the device for: an empty file is read by creating an empty copy.
    if (save(QByteArray())) {
        setResultData(m_file.fileName());
        setResultCode(TaskResult::Successful);
    } else {
        setResultData(QVariant());
        setResultCode(TaskResult::Error);
    }
    return false;
}

void FileReadTask::handleDataReceived(int bytes)
{
    if (m_expectedLength <= 0)
        return;
    const int percent = int(qint64(bytes) * 100 / m_expectedLength);
    if (percent != m_lastPercent) {
        reportProgress(tr("Reading file"), percent);
        m_lastPercent = percent;
    }
}

bool FileReadTask::save(const QByteArray &contents)
{
    const QString name = m_file.fileName();
    if (!isSafeFileName(name)) {
        VWARN << "Refusing device file name " << name << ": it would not stay inside " << m_folder;
        return false;
    }
    if (m_folder.isEmpty()) {
        VWARN << "No folder to save " << name << " into";
        return false;
    }
    const QString path = m_folder + QLatin1Char('/') + name;
    VLOG << "Readout path:" << path;
    VLOG << "Readout length:" << contents.size();
    const auto failed = [&](const QString &reason) {
        VWARN << "Can't write " << path << ": " << reason;
        setResultMessage(tr("Could not save %1 in %2: %3")
                                 .arg(name, QDir::toNativeSeparators(m_folder), reason));
        return false;
    };
    QSaveFile file(path);
    // Unbuffered, so the system's reason comes with the write that failed.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return failed(file.errorString());
    // A write cut short (the disk filled, a file size limit) reports no error by itself; the
    // next one fails and carries the reason.
    for (qint64 done = 0; done < contents.size();) {
        const qint64 written = file.write(contents.constData() + done, contents.size() - done);
        if (written <= 0) {
            const QString reason = file.errorString();
            file.cancelWriting();
            return failed(reason);
        }
        done += written;
    }
    if (!file.commit())
        return failed(file.errorString());
    return true;
}

int FileReadTask::processData(const QByteArray &data)
{
    // Not a read reply, or one too short for its length field: nothing was read.
    if (data.size() < kHeaderBytes || quint8(data.at(0)) != kCommand) {
        setResultData(QVariant());
        return TaskResult::Error;
    }
    const qint32 length = qFromBigEndian<qint32>(data.constData() + 1);
    // A reply that does not hold the whole file is a failure: a truncated copy must not be saved.
    if (length <= 0 || data.size() - kHeaderBytes < length) {
        VWARN << "Bad read reply: length " << length << ", " << data.size() << " bytes";
        return TaskResult::Error;
    }
    if (!save(data.mid(kHeaderBytes, length)))
        return TaskResult::Error;
    setResultData(m_file.fileName());
    return TaskResult::Successful;
}
