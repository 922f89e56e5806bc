#include "app/applicationlocker.h"

#include "link/logging.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const mode_t kLockFileMode = S_IRUSR | S_IWUSR;

int openNoLink(const QByteArray &name)
{
    int fd = -1;
    do {
        fd = ::open(name.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK,
                    kLockFileMode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// Only a plain file of ours is our lock; anything else was put there by someone else.
QString whyNotOurs(int fd)
{
    struct stat info = {};
    if (::fstat(fd, &info) != 0)
        return QString::fromLocal8Bit(std::strerror(errno));
    if (!S_ISREG(info.st_mode))
        return QStringLiteral("not a plain file");
    if (info.st_uid != ::geteuid())
        return QStringLiteral("owned by uid %1").arg(info.st_uid);
    if ((info.st_mode & 07777) != kLockFileMode)
        ::fchmod(fd, kLockFileMode);
    return QString();
}

} // namespace

ApplicationLocker::~ApplicationLocker()
{
    unlock();
}

bool ApplicationLocker::lockFile(const QString &path)
{
    unlock();
    if (path.isEmpty()) {
        VWARN << "Running without the single-instance lock: no runtime folder";
        return true;
    }
    const int fd = openNoLink(QFile::encodeName(path));
    if (fd < 0) {
        VWARN << "Running without the single-instance lock, " << path << ": "
             << std::strerror(errno);
        return true;
    }
    const QString problem = whyNotOurs(fd);
    if (!problem.isEmpty()) {
        ::close(fd);
        VWARN << "Running without the single-instance lock, " << path << " is not ours: " << problem;
        return true;
    }
    int rc = -1;
    do {
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc < 0 && errno == EINTR);
    if (rc == 0) {
        m_handle = fd;
        return true;
    }
    const int error = errno;
    ::close(fd);
    if (error == EWOULDBLOCK)
        return false;
    VWARN << "Running without the single-instance lock, " << path << ": " << std::strerror(error);
    return true;
}

void ApplicationLocker::unlock()
{
    if (m_handle == kNoHandle)
        return;
    // Closing the only descriptor releases the lock; the file stays for the next start.
    ::close(int(m_handle));
    m_handle = kNoHandle;
}
