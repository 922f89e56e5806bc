#include "device/runtimefolder.h"

#include "link/logging.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <windows.h>

// Windows has no runtime folder of the user's own; the local application-data folder
// (%LOCALAPPDATA%) stands in for it: its access list lets in only the user (and the system and the
// administrators), which is what the owner and mode checks on Linux make sure of. What is left to
// check is that a folder lies inside it and is a real folder, not a link or junction leading
// elsewhere.
namespace {

QString localAppData()
{
    // GenericDataLocation is the local, not the roaming, application-data folder on Windows.
    return QDir::cleanPath(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
}

bool checkFolder(const QString &path, QString *why)
{
    QString problem;
    const QString base = localAppData();
    const QString clean = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    const DWORD attributes
        = GetFileAttributesW(reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(clean).utf16()));
    if (path.isEmpty())
        problem = QStringLiteral("no path");
    else if (attributes == INVALID_FILE_ATTRIBUTES)
        problem = QStringLiteral("not there (error %1)").arg(GetLastError());
    else if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
        problem = QStringLiteral("not a folder");
    else if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        problem = QStringLiteral("a link, not a folder");
    else if (base.isEmpty() || !clean.startsWith(base + QLatin1Char('/'), Qt::CaseInsensitive))
        problem = QStringLiteral("outside the local application-data folder %1").arg(base);
    if (why)
        *why = problem;
    return problem.isEmpty();
}

} // namespace

bool RuntimeFolder::isPrivate(const QString &path, QString *why)
{
    return checkFolder(path, why);
}

bool RuntimeFolder::makePrivate(const QString &path, QString *why)
{
    if (!path.isEmpty() && !QFileInfo(path).exists() && !QDir().mkdir(path)) {
        if (why)
            *why = QStringLiteral("cannot be created");
        return false;
    }
    return isPrivate(path, why);
}

QString RuntimeFolder::path()
{
    const QString base = localAppData();
    if (base.isEmpty()) {
        VLOG << "No runtime folder: no local application-data folder";
        return QString();
    }
    const QString own = base + QStringLiteral("/VARNO/runtime");
    QDir().mkpath(own);
    QString why;
    if (checkFolder(own, &why))
        return own;
    VLOG << "No runtime folder: " << own << ": " << why;
    return QString();
}
