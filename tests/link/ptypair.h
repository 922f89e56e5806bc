#pragma once

#include "link/packet.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QSocketNotifier>
#include <QString>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

// A pseudo-terminal pair for tests that play the monitor's side frame by frame. Frames written by
// the program are collected from the event loop.
class PtyPair : public QObject
{
public:
    PtyPair()
    {
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0)
            return;
        termios tio {};
        ::tcgetattr(m_master, &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(m_master, TCSANOW, &tio);
        m_path = QString::fromLocal8Bit(::ptsname(m_master));
        m_notifier = new QSocketNotifier(m_master, QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, [this] { readAvailable(); });
    }
    ~PtyPair() override
    {
        delete m_notifier;
        if (m_master >= 0)
            ::close(m_master);
    }

    QString slavePath() const { return m_path; }

    // Writes all of bytes, waiting while the pty's buffer is full (the port's reader thread drains
    // the other side). Fails on any other error, such as EIO once nobody holds the other side, and
    // when the buffer stays full for ten seconds.
    [[nodiscard]] bool write(const QByteArray &bytes)
    {
        QElapsedTimer deadline;
        deadline.start();
        int written = 0;
        while (written < bytes.size()) {
            const ssize_t n = ::write(m_master, bytes.constData() + written, size_t(bytes.size() - written));
            if (n > 0) {
                written += int(n);
                continue;
            }
            if (n < 0 && errno != EAGAIN && errno != EINTR) {
                qWarning("pty write failed: %s", std::strerror(errno));
                return false;
            }
            const int left = kWriteLimitMs - int(deadline.elapsed());
            if (left <= 0) {
                qWarning("pty write stalled: %d of %d bytes written", written, int(bytes.size()));
                return false;
            }
            pollfd pfd { m_master, POLLOUT, 0 };
            ::poll(&pfd, 1, left);
        }
        return true;
    }
    [[nodiscard]] bool send(const Packet &packet) { return write(packet.encode()); }

    QList<Packet> frames;
    QByteArray raw;

private:
    void readAvailable()
    {
        char buf[4096];
        for (;;) {
            const ssize_t n = ::read(m_master, buf, sizeof buf);
            if (n <= 0)
                break;
            raw.append(buf, int(n));
            m_buffer.append(buf, int(n));
        }
        QList<Packet> decoded;
        varno::decodeFrames(m_buffer, decoded);
        frames.append(decoded);
    }

    static constexpr int kWriteLimitMs = 10000;

    int m_master = -1;
    QString m_path;
    QByteArray m_buffer;
    QSocketNotifier *m_notifier = nullptr;
};
