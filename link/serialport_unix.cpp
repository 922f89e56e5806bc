// POSIX termios layer standing in for the Windows communication functions: exclusive open by path,
// raw 8N1 at the configured speed with DTR/RTS off, a reader thread that polls with a time-out so it
// sees its stop flag, and writes bounded by the write wait.

#include "link/serialport.h"

#include "link/logging.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QMutexLocker>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

speed_t toSpeed(int baud)
{
    switch (baud) {
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    case 460800: return B460800;
    case 921600: return B921600;
    default: return B115200;
    }
}

} // namespace

QString SerialPortException::text() const
{
    return QStringLiteral("Failed with error %1: %2")
        .arg(m_error)
        .arg(QString::fromLocal8Bit(std::strerror(m_error)));
}

void SerialPort::Open()
{
    const QByteArray native = m_path.toLocal8Bit();
    const int fd = ::open(native.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        throw SerialPortException(errno);
    // Exclusive access, like a share mode of 0: a second open of the same tty fails with EBUSY.
    // TIOCEXCL does not bind root, so an advisory lock backs it up (root cannot skip that one).
    if (::ioctl(fd, TIOCEXCL) != 0) {
        const int error = errno;
        ::close(fd);
        throw SerialPortException(error);
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno == EWOULDBLOCK ? EBUSY : errno;
        ::close(fd);
        throw SerialPortException(error);
    }
    m_fd = fd;
    m_open = true;
    if (!applySettings())
        VWARN << "Port settings not applied to " << m_path << ": " << QString::fromLocal8Bit(std::strerror(errno));
    // DTR and RTS off. A pseudo-terminal has no modem lines, so this is best effort.
    int lines = TIOCM_DTR | TIOCM_RTS;
    ::ioctl(m_fd, TIOCMBIC, &lines);
}

bool SerialPort::applySettings()
{
    if (m_fd < 0)
        return false;
    termios tio {};
    if (::tcgetattr(m_fd, &tio) != 0)
        return false;
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cflag &= ~CSIZE;
    tio.c_cflag |= CS8;
    if (m_parity == 0) {
        tio.c_cflag &= ~(PARENB | PARODD);
    } else {
        tio.c_cflag |= PARENB;
        if (m_parity == 1)
            tio.c_cflag |= PARODD;
        else
            tio.c_cflag &= ~PARODD;
    }
    if (m_stopBits == 2)
        tio.c_cflag |= CSTOPB;
    else if (m_stopBits == 0 || m_stopBits == 1)
        tio.c_cflag &= ~CSTOPB;
    switch (m_flowControl) {
    case NoFlowControl:
        tio.c_cflag &= ~CRTSCTS;
        tio.c_iflag &= ~(IXON | IXOFF | IXANY);
        break;
    case HardwareFlowControl:
        tio.c_cflag |= CRTSCTS;
        tio.c_iflag &= ~(IXON | IXOFF | IXANY);
        break;
    case SoftwareFlowControl:
        tio.c_cflag &= ~CRTSCTS;
        tio.c_iflag |= IXON | IXOFF;
        break;
    default:
        break;
    }
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    ::cfsetispeed(&tio, toSpeed(m_baud));
    ::cfsetospeed(&tio, toSpeed(m_baud));
    return ::tcsetattr(m_fd, TCSANOW, &tio) == 0;
}

void SerialPort::Close()
{
    if (isRunning()) {
        m_stop = true;
        wait();
    }
    if (m_fd >= 0) {
        ::tcflush(m_fd, TCIOFLUSH);
        ::close(m_fd);
    }
    m_fd = -1;
    m_open = false;
}

void SerialPort::SetEventChar(char c)
{
    // termios cannot wake on one byte value; the reader wakes on any byte instead, which the frame
    // decoder copes with (it keeps partial frames for the next read).
    m_eventChar = c;
}

void SerialPort::SetFlowControl(int type)
{
    if (type < NoFlowControl || type > SoftwareFlowControl)
        return;
    m_flowControl = type;
    applySettings();
    if (m_fd >= 0) {
        int lines = TIOCM_DTR | TIOCM_RTS;
        ::ioctl(m_fd, type == NoFlowControl ? TIOCMBIC : TIOCMBIS, &lines);
    }
}

void SerialPort::SetListening(bool on)
{
    if (on) {
        if (isRunning())
            return;
        m_stop = false;
        start(QThread::InheritPriority);
    } else {
        m_stop = true;
        wait();
    }
}

int SerialPort::directRead(QByteArray &out, int size)
{
    if (m_fd < 0 || size <= 0)
        return size <= 0 ? 0 : -1;
    const int start = out.size();
    out.resize(start + size);
    const ssize_t n = ::read(m_fd, out.data() + start, size_t(size));
    if (n < 0) {
        out.resize(start);
        return (errno == EAGAIN || errno == EINTR) ? 0 : -1;
    }
    out.resize(start + int(n));
    return int(n);
}

int SerialPort::Write(const QByteArray &data)
{
    if (m_fd < 0)
        return -1;
    QElapsedTimer clock;
    clock.start();
    qint64 written = 0;
    while (written < data.size()) {
        const ssize_t n = ::write(m_fd, data.constData() + written, size_t(data.size() - written));
        if (n > 0) {
            written += n;
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return written > 0 ? int(written) : -1;
        const int left = m_writeWaitMs - int(clock.elapsed());
        if (left <= 0)
            return written > 0 ? int(written) : -1;
        pollfd pfd { int(m_fd), POLLOUT, 0 };
        if (::poll(&pfd, 1, left) < 0 && errno != EINTR)
            return written > 0 ? int(written) : -1;
    }
    return int(written);
}

void SerialPort::run()
{
    while (!m_stop) {
        pollfd pfd { int(m_fd), POLLIN, 0 };
        const int ready = ::poll(&pfd, 1, m_readWaitMs);
        if (ready <= 0)
            continue;
        if (pfd.revents & (POLLHUP | POLLERR | POLLNVAL)) {
            // The other end went away (device unplugged, simulator closed): nothing to read until
            // the link layer gives up; don't spin.
            if (!(pfd.revents & POLLIN)) {
                QThread::msleep(quint32(m_readWaitMs));
                continue;
            }
        }
        int queued = 0;
        if (::ioctl(m_fd, FIONREAD, &queued) != 0 || queued <= 0)
            queued = 4096;
        QByteArray chunk;
        const int n = directRead(chunk, queued);
        if (n <= 0) {
            if (n < 0)
                QThread::msleep(quint32(m_readWaitMs));
            continue;
        }
        {
            QMutexLocker locker(&m_mutex);
            m_pending.append(chunk);
        }
        emit DataReceived(n);
    }
}
