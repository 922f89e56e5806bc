#include "app/applicationlocker.h"

#include <QDir>

bool ApplicationLocker::lock()
{
    return lockFile(lockFilePath());
}

QString ApplicationLocker::lockFilePath()
{
    // Qt gives an empty path when the temporary folder does not exist; the lock must not then land
    // in the root folder.
    if (QDir::tempPath().isEmpty())
        return QString();
    return QDir::toNativeSeparators(QDir::tempPath() + QStringLiteral("/vdmrunonce.lock"));
}
