#include "device/portholder.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <climits>
#include <unistd.h>

namespace {

QByteArray linkTarget(const QByteArray &link)
{
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink(link.constData(), buffer, sizeof(buffer) - 1);
    return n > 0 ? QByteArray(buffer, int(n)) : QByteArray();
}

QByteArray readProcFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

PortHolder::Process describe(qint64 pid)
{
    PortHolder::Process holder;
    holder.pid = pid;
    holder.name = QString::fromLocal8Bit(readProcFile(QStringLiteral("/proc/%1/comm").arg(pid))).trimmed();
    return holder;
}

} // namespace

// Stands in for what fuser does: walk /proc/<pid>/fd and compare each descriptor's target with the
// port. A descriptor that carries a lock (its fdinfo lists one) names the holder exactly; otherwise
// the first other opener is the best guess. Other users' processes are unreadable without
// privileges and are skipped.
PortHolder::Process PortHolder::find(const QString &path)
{
    const QString canonical = QFileInfo(path).canonicalFilePath();
    const QByteArray wanted = QFile::encodeName(canonical.isEmpty() ? path : canonical);
    const qint64 self = ::getpid();
    Process firstOpener;
    const QStringList pids = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &entry : pids) {
        if (QThread::currentThread()->isInterruptionRequested())
            return Process();
        bool numeric = false;
        const qint64 pid = entry.toLongLong(&numeric);
        if (!numeric || pid == self)
            continue;
        const QString procFolder = QStringLiteral("/proc/%1/").arg(pid);
        const QStringList fds = QDir(procFolder + QStringLiteral("fd")).entryList(QDir::System | QDir::NoDotAndDotDot);
        for (const QString &fd : fds) {
            if (linkTarget(QFile::encodeName(procFolder + QStringLiteral("fd/") + fd)) != wanted)
                continue;
            if (readProcFile(procFolder + QStringLiteral("fdinfo/") + fd).contains("lock:"))
                return describe(pid);
            if (!firstOpener.isValid())
                firstOpener = describe(pid);
        }
    }
    return firstOpener;
}
