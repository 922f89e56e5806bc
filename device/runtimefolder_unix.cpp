#include "device/runtimefolder.h"

#include "link/logging.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

bool checkFolder(const QString &path, bool followLink, QString *why)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat info = {};
    const int rc
        = followLink ? ::stat(native.constData(), &info) : ::lstat(native.constData(), &info);
    QString problem;
    if (path.isEmpty())
        problem = QStringLiteral("no path");
    else if (rc != 0)
        problem = systemError(errno);
    else if (!S_ISDIR(info.st_mode))
        problem = S_ISLNK(info.st_mode) ? QStringLiteral("a link, not a folder")
                                        : QStringLiteral("not a folder");
    else if (info.st_uid != ::geteuid())
        problem = QStringLiteral("owned by uid %1").arg(info.st_uid);
    else if ((info.st_mode & (S_IRWXG | S_IRWXO)) != 0)
        problem = QStringLiteral("mode %1, others may enter it")
                      .arg(info.st_mode & 07777, 4, 8, QLatin1Char('0'));
    if (why)
        *why = problem;
    return problem.isEmpty();
}

} // namespace

bool RuntimeFolder::isPrivate(const QString &path, QString *why)
{
    return checkFolder(path, false, why);
}

bool RuntimeFolder::makePrivate(const QString &path, QString *why)
{
    const QByteArray native = QFile::encodeName(path);
    if (!path.isEmpty() && ::mkdir(native.constData(), S_IRWXU) != 0 && errno != EEXIST) {
        if (why)
            *why = systemError(errno);
        return false;
    }
    return isPrivate(path, why);
}

QString RuntimeFolder::path()
{
    // The session manager makes $XDG_RUNTIME_DIR for us alone; it may be reached through a link.
    const QString runtime = QFile::decodeName(qgetenv("XDG_RUNTIME_DIR"));
    QString why;
    if (!runtime.isEmpty()) {
        if (checkFolder(runtime, true, &why))
            return runtime;
        VWARN << "Not using the runtime folder " << runtime << ": " << why;
    }
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    if (cache.isEmpty()) {
        VWARN << "No runtime folder: neither XDG_RUNTIME_DIR nor a cache location";
        return QString();
    }
    const QString own = cache + QStringLiteral("/varno-runtime");
    // The cache folder itself may be missing on a fresh account.
    QDir().mkpath(cache);
    if (makePrivate(own, &why))
        return own;
    VWARN << "No runtime folder: " << own << ": " << why;
    return QString();
}
