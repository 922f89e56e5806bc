#include "app/applicationlocker.h"

#include "link/logging.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

std::unique_ptr<ApplicationLocker> varno::createApplicationLocker()
{
    return std::make_unique<ApplicationLockerUnix>();
}

ApplicationLockerUnix::~ApplicationLockerUnix()
{
    unlock();
}

bool ApplicationLockerUnix::lockFile(const QString &path)
{
    unlock();
    if (path.isEmpty()) {
        VLOG << "Running without the single-instance lock: no temporary folder";
        return true;
    }
    // The temporary folder is shared: never follow a link someone else planted under our name.
    const QByteArray name = QFile::encodeName(path);
    int fd = -1;
    do {
        fd = ::open(name.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        VLOG << "Running without the single-instance lock, " << path << ": " << std::strerror(errno);
        return true;
    }
    int rc = -1;
    do {
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc < 0 && errno == EINTR);
    if (rc == 0) {
        m_fd = fd;
        return true;
    }
    const int error = errno;
    ::close(fd);
    if (error == EWOULDBLOCK)
        return false;
    VLOG << "Running without the single-instance lock, " << path << ": " << std::strerror(error);
    return true;
}

void ApplicationLockerUnix::unlock()
{
    if (m_fd < 0)
        return;
    // Closing the only descriptor releases the lock; the file stays for the next start.
    ::close(m_fd);
    m_fd = -1;
}
