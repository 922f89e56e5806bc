#include "tasks/fileremovetask.h"

#include <QtEndian>

namespace {

// The device erases a large file block by block, which takes its time.
int timeoutFor(const FileDescriptor &file)
{
    return file.size() <= FileRemoveTask::kShortTimeoutMaxBytes ? FileRemoveTask::kShortTimeoutMs
                                                                 : FileRemoveTask::kLongTimeoutMs;
}

} // namespace

FileRemoveTask::FileRemoveTask(CommandTarget *device, const FileDescriptor &file, QObject *parent)
    : DeviceTask(device, QStringLiteral("Remove file"), kCommand, timeoutFor(file), Silent, parent)
    , m_file(file)
{
}

bool FileRemoveTask::sendRequest()
{
    // The device would take the "no file" handle 0xFFFFFFFF as a request like any other.
    if (!m_file.isValid())
        return refuse(QVariant(), tr("no such file"));
    QByteArray params(4, '\0');
    qToBigEndian<quint32>(m_file.handle(), params.data());
    send(kCommand, params);
    reportProgress(tr("Removing file"), -1);
    return true;
}

int FileRemoveTask::processData(const QByteArray &data)
{
    if (data.size() != kReplyBytes || quint8(data.at(0)) != kCommand) {
        setResultData(QVariant());
        return TaskResult::Error;
    }
    setResultData(m_file.fileName());
    const quint32 handle = qFromBigEndian<quint32>(data.constData() + 1);
    return handle == m_file.handle() ? TaskResult::Successful : TaskResult::Error;
}
