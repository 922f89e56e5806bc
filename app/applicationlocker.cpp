#include "app/applicationlocker.h"

#include "device/runtimefolder.h"

#include <QDir>

bool ApplicationLocker::lock()
{
    return lockFile(lockFilePath());
}

QString ApplicationLocker::lockFilePath()
{
    // Without a private folder there is no safe place: never the shared temporary folder, where
    // another user could hold or plant the file.
    const QString folder = RuntimeFolder::path();
    if (folder.isEmpty())
        return QString();
    return QDir::toNativeSeparators(folder + QStringLiteral("/vdmrunonce.lock"));
}
