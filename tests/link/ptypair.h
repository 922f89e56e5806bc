#pragma once

#include "link/packet.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QSocketNotifier>
#include <QString>

#include <cstdlib>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

// A pseudo-terminal pair for tests that play the monitor's side frame by frame. Frames written by
// the program are collected from the event loop, with the time each one arrived.
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
        m_clock.start();
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

    void write(const QByteArray &bytes)
    {
        int written = 0;
        while (written < bytes.size()) {
            const ssize_t n = ::write(m_master, bytes.constData() + written, size_t(bytes.size() - written));
            if (n > 0)
                written += int(n);
            else
                ::usleep(1000); // the port's reader thread drains the other side
        }
    }
    void send(const Packet &packet) { write(packet.encode()); }

    QList<Packet> frames;
    QList<qint64> arrivalMs;
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
        for (const Packet &p : qAsConst(decoded)) {
            frames.append(p);
            arrivalMs.append(m_clock.elapsed());
        }
    }

    int m_master = -1;
    QString m_path;
    QByteArray m_buffer;
    QSocketNotifier *m_notifier = nullptr;
    QElapsedTimer m_clock;
};
