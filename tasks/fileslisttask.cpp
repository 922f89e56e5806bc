#include "tasks/fileslisttask.h"

#include "link/logging.h"
#include "tasks/filedescriptor.h"

FilesListTask::FilesListTask(CommandTarget *device, QObject *parent)
    : DeviceTask(device, QStringLiteral("List files"), parent)
{
    setTimeout(kTimeoutMs);
    setDataId(kCommand);
    setSilent(true);
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
    if (data.size() > 2 && quint8(data.at(0)) == kCommand && data.at(1) != 0) {
        const int count = quint8(data.at(1));
        for (int i = 0; i < count; ++i) {
            // A short last slice gives an invalid descriptor, so the count stays visible.
            const FileDescriptor file(data.mid(2 + FileDescriptor::kBytes * i, FileDescriptor::kBytes));
            VLOG << file;
            m_files.append(QVariant::fromValue(file));
            reportProgress(tr("Listing files"), i * 100 / count);
        }
    }
    setResultData(m_files);
    return TaskResult::Successful;
}
