#include "tasks/filewritetask.h"

#include "link/logging.h"

#include <QFile>
#include <QtEndian>

namespace {

// The first whole characters of text whose local 8-bit form fits in maxBytes: a cut must not
// leave half a multi-byte character in a field the device shows.
QByteArray fitBytes(const QString &text, int maxBytes)
{
    QByteArray out;
    for (int i = 0; i < text.size(); ++i) {
        int n = 1;
        if (text.at(i).isHighSurrogate() && i + 1 < text.size())
            n = 2;
        const QByteArray bytes = text.mid(i, n).toLocal8Bit();
        if (out.size() + bytes.size() > maxBytes)
            break;
        out.append(bytes);
        i += n - 1;
    }
    return out;
}

} // namespace

FileWriteTask::FileWriteTask(CommandTarget *device, const QFileInfo &file, quint8 attributes, QObject *parent)
    : DeviceTask(device, QStringLiteral("Write file"), kCommand, kTimeoutMs, Shown, parent)
    , m_file(file)
    , m_attributes(attributes)
{
}

QString FileWriteTask::shortName(const QString &fileName)
{
    const int dot = fileName.lastIndexOf(QLatin1Char('.'));
    const QString base = dot > 0 ? fileName.left(dot) : fileName;
    const QString extension = dot > 0 ? fileName.mid(dot + 1) : QString();
    const auto usable = [](const QString &part, int max) {
        QString out;
        for (QChar c : part) {
            if (out.size() == max)
                break;
            if (c.isLetterOrNumber() || c == QLatin1Char('_') || c == QLatin1Char('-'))
                out.append(c.toUpper());
        }
        return out;
    };
    QString name = usable(base, 6);
    if (name.isEmpty())
        name = QStringLiteral("FILE");
    name += QLatin1String("~1");
    const QString ext = usable(extension, 3);
    return ext.isEmpty() ? name : name + QLatin1Char('.') + ext;
}

QString FileWriteTask::deviceName(const QString &fileName)
{
    const QString upper = fileName.toUpper();
    return upper.size() > kMaxPlainNameChars ? shortName(upper) : upper;
}

QByteArray FileWriteTask::createRecord(const QString &fileName, quint8 attributes, quint32 size)
{
    QByteArray record(kCreateRecordBytes, ' ');
    const QStringList parts = deviceName(fileName).split(QLatin1Char('.'));
    const QByteArray name = fitBytes(parts.value(0), 8);
    record.replace(0, name.size(), name);
    if (parts.size() == 2) {
        const QByteArray extension = fitBytes(parts.at(1), 3);
        record.replace(8, extension.size(), extension);
    }
    record[11] = char(attributes);
    qToBigEndian<quint32>(size, record.data() + 12);
    return record;
}

bool FileWriteTask::sendRequest()
{
    const qint64 size = m_file.size();
    if (!m_file.isFile() || !m_file.isReadable())
        return refuse(false, tr("cannot read %1").arg(m_file.filePath()));
    if (size > kMaxFileBytes) {
        return refuse(false, tr("%1 is %2 bytes long; the device takes files of 0 to %3 bytes")
                                 .arg(m_file.fileName())
                                 .arg(size)
                                 .arg(kMaxFileBytes));
    }
    send(kCreateCommand, createRecord(m_file.fileName(), m_attributes, quint32(size)));
    reportProgress(tr("Creating file on device"), 0);
    return true;
}

void FileWriteTask::handleDataSent(int frames)
{
    if (m_frameCount == 0)
        return;
    // One report per percent, not per 24-byte frame: the display cannot show more.
    const int percent = int(qint64(frames) * 100 / m_frameCount);
    if (percent != m_lastPercent) {
        m_lastPercent = percent;
        reportProgress(tr("Writing file"), percent);
    }
}

int FileWriteTask::processData(const QByteArray &data)
{
    if (data.isEmpty())
        return TaskResult::Error;
    const quint8 code = quint8(data.at(0));
    if (code == kCommand) {
        // Only the answer to our data counts: an early 0x42 would report a file that was never
        // written.
        if (!m_dataSent) {
            setResultData(false);
            return TaskResult::Error;
        }
        setResultData(true);
        return TaskResult::Successful;
    }
    if (code != kCreateCommand || m_dataSent)
        return TaskResult::Error;
    // A create reply without a whole handle names no file to write to.
    if (data.size() < 5) {
        VWARN << "Short create reply: " << data.toHex();
        setResultData(false);
        return TaskResult::Error;
    }
    const quint32 handle = qFromBigEndian<quint32>(data.constData() + 1);
    if (handle == 0xFFFFFFFFu) {
        setResultData(false);
        return TaskResult::Error;
    }
    QFile file(m_file.absoluteFilePath());
    if (!file.open(QIODevice::ReadOnly)) {
        setResultData(false);
        return TaskResult::Error;
    }
    QByteArray params(4, '\0');
    qToBigEndian<quint32>(handle, params.data());
    params.append(file.readAll());
    m_dataSent = true;
    m_frameCount = send(kCommand, params);
    return TaskResult::Continue;
}
