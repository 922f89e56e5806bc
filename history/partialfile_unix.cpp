#include "history/partialfile.h"

#include <QFile>
#include <QFileDevice>
#include <QTemporaryFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

// flock() rather than fcntl() locks: they belong to the open file, not to the process, so they
// do not clash with SQLite's own fcntl() locks on the same file, and closing another descriptor
// of that file does not drop them.

namespace {

bool sameFile(int fd, const QByteArray &path)
{
    struct stat open;
    struct stat named;
    return ::fstat(fd, &open) == 0 && ::lstat(path.constData(), &named) == 0
        && open.st_dev == named.st_dev && open.st_ino == named.st_ino;
}

} // namespace

namespace PartialFile {

bool hold(QFileDevice &file)
{
    const int fd = file.handle();
    if (fd < 0)
        return false;
    // Taken by a cleaner that is about to remove it. A file system without such locks gets none:
    // a cleaner cannot take one either, so nothing there is ever removed.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK)
        return false;
    return sameFile(fd, QFile::encodeName(file.fileName()));
}

bool removeIfAbandoned(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0)
        return false;
    bool removed = false;
    // Held while unlinking, so the writer's own check in hold() sees the file gone.
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && sameFile(fd, name))
        removed = ::unlink(name.constData()) == 0;
    ::close(fd);
    return removed;
}

void letGo(std::unique_ptr<QTemporaryFile> &)
{
}

} // namespace PartialFile
