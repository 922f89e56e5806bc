#include "tasks/fileslisttask.h"

#include "link/logging.h"
#include "tasks/filedescriptor.h"

FilesListTask::FilesListTask(CommandTarget *device, QObject *parent)
    : DeviceTask(device, QStringLiteral("List files"), kCommand, kTimeoutMs, Silent, parent)
{
}

bool FilesListTask::sendRequest()
{
    reportProgress(tr("Listing files"), 0);
    send(kCommand);
    return true;
}

int FilesListTask::processData(const QByteArray &data)
{
    m_files.clear();
    // Another command's reply, or a list whose length does not match its count, says nothing
    // about the device's files: it must not pass for an empty or partial list.
    if (data.size() < kHeaderBytes || quint8(data.at(0)) != kCommand
        || data.size() != kHeaderBytes + FileDescriptor::kBytes * quint8(data.at(1))) {
        VWARN << "Bad list reply: " << data.size() << " bytes";
        setResultData(QVariant());
        return TaskResult::Error;
    }
    const int count = quint8(data.at(1));
    for (int i = 0; i < count; ++i) {
        const FileDescriptor file(data.mid(kHeaderBytes + FileDescriptor::kBytes * i, FileDescriptor::kBytes));
        VLOG << file;
        m_files.append(QVariant::fromValue(file));
        reportProgress(tr("Listing files"), i * 100 / count);
    }
    setResultData(m_files);
    return TaskResult::Successful;
}
