#include "tools/devsim/simlink.h"

#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

SimLink::SimLink(QObject *parent)
    : QObject(parent)
    , m_retransmitTimer(new QTimer(this))
    , m_lineTimer(new QTimer(this))
{
    m_retransmitTimer->setSingleShot(true);
    m_retransmitTimer->setInterval(varno::kAckTimeoutMs);
    connect(m_retransmitTimer, &QTimer::timeout, this, &SimLink::OnRetransmit);
    m_lineTimer->setTimerType(Qt::PreciseTimer);
    m_lineTimer->setInterval(1);
    connect(m_lineTimer, &QTimer::timeout, this, &SimLink::OnLineTick);
}

SimLink::~SimLink()
{
    if (m_slaveKeepAlive >= 0)
        ::close(m_slaveKeepAlive);
    if (m_master >= 0)
        ::close(m_master);
}

bool SimLink::open()
{
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0)
        return false;
    const char *name = ::ptsname(m_master);
    if (!name)
        return false;
    m_slavePath = QString::fromLocal8Bit(name);
    // Keep one slave descriptor open ourselves: otherwise the master sees a hang-up whenever the
    // program closes the port, and a reopened port would find the line in cooked mode.
    m_slaveKeepAlive = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (m_slaveKeepAlive >= 0) {
        termios tio {};
        if (::tcgetattr(m_slaveKeepAlive, &tio) == 0) {
            ::cfmakeraw(&tio);
            ::tcsetattr(m_slaveKeepAlive, TCSANOW, &tio);
        }
    }
    termios tio {};
    if (::tcgetattr(m_master, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::tcsetattr(m_master, TCSANOW, &tio);
    }
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    m_notifier = new QSocketNotifier(m_master, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &SimLink::OnReadable);
    return true;
}

void SimLink::setBaudRate(int baud)
{
    m_baud = baud;
    if (m_baud > 0) {
        m_lineClock.start();
        m_lineTimer->start();
    } else {
        m_lineTimer->stop();
    }
}

void SimLink::OnReadable()
{
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n > 0) {
            if (m_baud > 0) {
                if (m_rxLine.isEmpty())
                    m_rxBudgetStartUs = m_lineClock.nsecsElapsed() / 1000;
                m_rxLine.append(buffer, int(n));
            } else {
                feed(QByteArray(buffer, int(n)));
            }
            continue;
        }
        if (n < 0 && errno == EIO) {
            // Nobody holds the slave end: wait a little instead of spinning on the hang-up.
            m_notifier->setEnabled(false);
            QTimer::singleShot(50, this, [this] { m_notifier->setEnabled(true); });
        }
        return;
    }
}

void SimLink::OnLineTick()
{
    // Release bytes at the line's rate: baud / 10 bytes a second in each direction.
    const qint64 nowUs = m_lineClock.nsecsElapsed() / 1000;
    const double bytesPerUs = m_baud / 10.0 / 1e6;
    if (!m_rxLine.isEmpty()) {
        const int allowed = int((nowUs - m_rxBudgetStartUs) * bytesPerUs);
        if (allowed > 0) {
            const int n = qMin(allowed, m_rxLine.size());
            const QByteArray chunk = m_rxLine.left(n);
            m_rxLine.remove(0, n);
            m_rxBudgetStartUs += qint64(n / bytesPerUs);
            feed(chunk);
        }
    }
    if (!m_txLine.isEmpty()) {
        const int allowed = int((nowUs - m_txBudgetStartUs) * bytesPerUs);
        if (allowed > 0) {
            const int n = qMin(allowed, m_txLine.size());
            const QByteArray chunk = m_txLine.left(n);
            m_txLine.remove(0, n);
            m_txBudgetStartUs += qint64(n / bytesPerUs);
            int written = 0;
            while (written < chunk.size()) {
                const ssize_t w = ::write(m_master, chunk.constData() + written, size_t(chunk.size() - written));
                if (w <= 0)
                    break;
                written += int(w);
            }
        }
    }
}

void SimLink::feed(const QByteArray &bytes)
{
    ++m_readCount;
    m_rxBuffer.append(bytes);
    QList<Packet> packets;
    varno::decodeFrames(m_rxBuffer, packets);
    if (m_rxBuffer.size() > 65536)
        m_rxBuffer.clear();
    for (const Packet &packet : qAsConst(packets))
        handlePacket(packet);
}

void SimLink::handlePacket(const Packet &packet)
{
    if (m_faults.silent)
        return;
    if (!packet.valid || !packet.crcMatches()) {
        if (packet.valid && packet.isData())
            writeFrame(Packet::nak(packet.sequence()), false);
        return;
    }
    if (packet.isData()) {
        const QByteArray identity = char(packet.header) + packet.payload;
        // The host numbers its frames, so a copy of the frame just acknowledged that came in the
        // same read was resent while we were not scheduled: the ACK we wrote answers it as well,
        // and a second ACK would reach the host after its next frame went out and end the exchange.
        if (!m_lastAckDropped && identity == m_lastAccepted && m_lastAckRead == m_readCount)
            return;
        ++m_hostFrames;
        // A frame identical to the one whose ACK we withheld is its retransmission.
        const bool retransmission = m_lastAckDropped && identity == m_lastAccepted;
        if (m_faults.nakEvery > 0 && m_hostFrames % m_faults.nakEvery == 0) {
            writeFrame(Packet::nak(packet.sequence()), false);
            return;
        }
        if (m_faults.dropAcks > 0) {
            --m_faults.dropAcks;
            m_lastAckDropped = true;
        } else {
            m_lastAckDropped = false;
            writeFrame(Packet::ack(packet.sequence()), false);
            m_lastAckRead = m_readCount;
            if (m_faults.duplicateAcks)
                writeFrame(Packet::ack(packet.sequence()), false);
        }
        if (retransmission)
            return;
        m_lastAccepted = identity;
        m_message.append(packet.payload);
        if (packet.isLast()) {
            const QByteArray message = m_message;
            m_message.clear();
            ++m_messagesReceived;
            if (m_faults.abortAfter > 0 && m_messagesReceived >= m_faults.abortAfter) {
                resetState();
                writeFrame(Packet::abort(), false);
                return;
            }
            emit messageReceived(message);
        }
        return;
    }
    if (packet.isAck()) {
        if (m_inFlight && packet.ackNumber() == 0) {
            m_inFlight = false;
            m_retransmitTimer->stop();
            m_outgoing.removeFirst();
            sendNextFrame();
        }
    }
    if (packet.isAbort()) {
        resetState();
        emit hostAborted();
    }
    if (packet.isNak()) {
        if (m_inFlight) {
            m_retransmitTimer->stop();
            m_inFlight = false;
            sendNextFrame();
        }
    }
}

void SimLink::resetState()
{
    m_message.clear();
    m_outgoing.clear();
    m_inFlight = false;
    m_retransmitTimer->stop();
    m_lastAccepted.clear();
    m_lastAckDropped = false;
}

void SimLink::sendMessage(const QByteArray &message)
{
    if (m_faults.silent)
        return;
    for (int offset = 0; offset < message.size(); offset += varno::kMaxFramePayloadBytes) {
        const bool last = offset + varno::kMaxFramePayloadBytes >= message.size();
        m_outgoing.append(Packet::data(0, last, message.mid(offset, varno::kMaxFramePayloadBytes)));
    }
    if (!m_inFlight)
        sendNextFrame();
}

void SimLink::sendNextFrame()
{
    if (m_outgoing.isEmpty())
        return;
    writeFrame(m_outgoing.first(), true);
    m_inFlight = true;
    m_retransmitTimer->start();
}

void SimLink::OnRetransmit()
{
    if (!m_inFlight)
        return;
    // The host's answer may already be waiting: take it before deciding that the frame was lost.
    OnReadable();
    if (!m_inFlight)
        return;
    // Nothing is lost on a pseudo-terminal. While the host has not read the whole frame it is only
    // late (a busy machine), and a copy would reach it as a second fragment it cannot tell apart,
    // since every device frame carries number 0. Wait for it instead.
    if (hostIsBehind()) {
        m_retransmitTimer->start();
        return;
    }
    m_inFlight = false;
    sendNextFrame();
}

bool SimLink::hostIsBehind() const
{
    if (!m_txLine.isEmpty() || !m_rxLine.isEmpty())
        return true;
    int unread = 0;
    return m_slaveKeepAlive >= 0 && ::ioctl(m_slaveKeepAlive, FIONREAD, &unread) == 0 && unread > 0;
}

void SimLink::writeFrame(const Packet &packet, bool mayCorrupt)
{
    QByteArray frame = packet.encode();
    if (mayCorrupt) {
        ++m_framesSent;
        if (m_faults.corruptEvery > 0 && m_framesSent % m_faults.corruptEvery == 0) {
            Packet bad = packet;
            bad.received = true;
            bad.crc = quint16(packet.computeCrc() ^ 0x5A5A);
            QByteArray body = char(bad.header) + bad.payload;
            body.append(char(bad.crc >> 8));
            body.append(char(bad.crc & 0xFF));
            frame = char(varno::kFrameDelimiter) + varno::stuff(body) + char(varno::kFrameDelimiter);
        }
    }
    writeRaw(frame);
}

void SimLink::writeRaw(const QByteArray &bytes)
{
    if (m_baud > 0) {
        if (m_txLine.isEmpty())
            m_txBudgetStartUs = qMax(m_txBudgetStartUs, m_lineClock.nsecsElapsed() / 1000);
        m_txLine.append(bytes);
        return;
    }
    int written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(m_master, bytes.constData() + written, size_t(bytes.size() - written));
        if (n > 0) {
            written += int(n);
        } else if (n < 0 && errno == EAGAIN) {
            usleep(200);
        } else {
            return;
        }
    }
}
