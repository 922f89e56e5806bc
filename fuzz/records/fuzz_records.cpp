// Feeds arbitrary device replies to every record parser and every command task's reply handling.

#include "device/deviceinfo.h"
#include "device/devicestate.h"
#include "device/environmentstate.h"
#include "tasks/changepasswordtask.h"
#include "tasks/filedescriptor.h"
#include "tasks/filereadtask.h"
#include "tasks/fileremovetask.h"
#include "tasks/fileslisttask.h"
#include "tasks/filewritetask.h"
#include "tasks/readcalibrationtask.h"
#include "tasks/readenvironmentstatetask.h"
#include "tasks/readidtask.h"
#include "tasks/readstatetask.h"
#include "tasks/resetaggregatedosetask.h"
#include "tasks/setaggregatedosetask.h"
#include "tasks/writecalibrationtask.h"

#include "fuzz/fuzzsupport.h"

#include <QCoreApplication>
#include <QDir>

#include <cstdint>
#include <memory>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv);
    fuzz::silenceQt();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    (void)DeviceInfo(bytes);
    (void)DeviceState::fromReply(bytes);
    EnvironmentState environment;
    (void)EnvironmentState::fromReply(bytes, &environment);
    const FileDescriptor descriptor(bytes.left(20));
    (void)descriptor.fileName();

    // The first byte picks the file a read reply is for, so that names and sizes vary too.
    const FileDescriptor file = size > 21 ? FileDescriptor(bytes.mid(1, 20)) : FileDescriptor::make("A", "B", 4, 0, 1);
    const QString folder = fuzz::scratchPath();
    std::unique_ptr<DeviceTask> tasks[] = {
        std::make_unique<ReadIDTask>(nullptr),
        std::make_unique<ReadStateTask>(nullptr),
        std::make_unique<ReadEnvironmentStateTask>(nullptr),
        std::make_unique<ReadCalibrationTask>(nullptr),
        std::make_unique<WriteCalibrationTask>(nullptr, 1.0, QString()),
        std::make_unique<ChangePasswordTask>(nullptr, QString(), QString()),
        std::make_unique<ResetAggregateDoseTask>(nullptr, QString()),
        std::make_unique<SetAggregateDoseTask>(nullptr, 1.0, 1, QString()),
        std::make_unique<FilesListTask>(nullptr),
        std::make_unique<FileReadTask>(nullptr, file, folder),
        std::make_unique<FileWriteTask>(nullptr, QFileInfo(QStringLiteral("/nonexistent")), 0),
        std::make_unique<FileRemoveTask>(nullptr, file),
    };
    for (auto &task : tasks)
        (void)task->processData(bytes);
    // Nothing may land outside the folder; clear what landed inside.
    QDir dir(folder);
    const QStringList written = dir.entryList(QDir::Files | QDir::Hidden);
    for (const QString &name : written)
        dir.remove(name);
    return 0;
}
