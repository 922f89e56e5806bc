#include "link/framer.h"

#include "link/logging.h"
#include "link/serialport.h"

#include <QCoreApplication>
#include <QMutexLocker>
#include <QPointer>
#include <QTimer>

FramerEvent::FramerEvent()
    : QEvent(eventType())
{
}

QEvent::Type FramerEvent::eventType()
{
    static const QEvent::Type type = QEvent::Type(QEvent::registerEventType());
    return type;
}

Framer::Framer(SerialPort *port, QObject *parent)
    : QObject(parent)
    , m_port(port)
    , m_timer(new QTimer())
{
    m_timer->setSingleShot(true);
    m_timer->setTimerType(Qt::PreciseTimer);
    connect(m_port, &SerialPort::DataReceived, this, &Framer::ReadData);
    connect(m_timer, &QTimer::timeout, this, &Framer::timerTimeout);
    m_port->SetEventChar(char(varno::kFrameDelimiter));
}

Framer::~Framer()
{
    if (m_timer->isActive())
        m_timer->stop();
    delete m_timer;
    delete m_port;
}

int Framer::SendMessage(const QByteArray &data, bool reliable)
{
    if (!m_port->IsOpen())
        return 0;
    if (!reliable && data.size() <= varno::kMaxFramePayloadBytes) {
        writePacket(Packet(varno::kHeaderMessage, data));
        return 1;
    }
    int queued = 0;
    {
        QMutexLocker locker(&m_mutex);
        m_ackedFrames = 0;
        for (int offset = 0; offset < data.size(); offset += varno::kMaxFramePayloadBytes) {
            const bool last = offset + varno::kMaxFramePayloadBytes >= data.size();
            m_outgoing.append(
                Packet::data(m_txSequence, last, data.mid(offset, varno::kMaxFramePayloadBytes)));
            m_txSequence = (m_txSequence + 1) & 0x07;
        }
        queued = m_outgoing.size();
    }
    QCoreApplication::postEvent(this, new FramerEvent());
    return reliable ? queued : 1;
}

void Framer::Abort()
{
    {
        QMutexLocker locker(&m_mutex);
        m_abortReason = 0;
    }
    sendAbort();
    reset();
}

bool Framer::HasUnprocessedInput() const
{
    QMutexLocker locker(&m_mutex);
    return !m_decoded.isEmpty() && !m_hasInFlight;
}

void Framer::StartListening()
{
    m_port->SetListening(true);
}

void Framer::StopListening()
{
    m_port->SetListening(false);
}

bool Framer::event(QEvent *e)
{
    if (e->type() == FramerEvent::eventType()) {
        e->accept();
        // Each message posts one of these; while a frame waits for its ACK, the ACK or the time-out
        // sends the next one. Resending the frame here would draw a second ACK and abort the link.
        bool waiting = false;
        {
            QMutexLocker locker(&m_mutex);
            waiting = m_hasInFlight;
        }
        if (!waiting)
            sendNext();
    }
    return QObject::event(e);
}

void Framer::ReadData(qint64 msgLength)
{
    QByteArray gathered;
    while (gathered.size() < msgLength) {
        int n = 0;
        {
            QMutexLocker locker(&m_mutex);
            n = m_port->Read(gathered, uint(msgLength - gathered.size()));
        }
        if (n <= 0)
            return;
    }
    m_receiveBuffer.append(gathered);
    decode();
}

void Framer::decode()
{
    // No frame is anywhere near this long: input that goes on without a delimiter is garbage up to
    // the next one, which opens a frame again. Dropping it whole, rather than taking it as a frame
    // body that fails its check value, lets the frame behind it through at once.
    const int delimiter = m_receiveBuffer.indexOf(char(varno::kFrameDelimiter));
    const int undelimited = delimiter < 0 ? m_receiveBuffer.size() : delimiter;
    if (undelimited > 0 && (m_skipToDelimiter || undelimited > kMaxReceiveBufferBytes)) {
        VWARN << "Dropping " << undelimited << " bytes of input without a frame end";
        m_receiveBuffer.remove(0, undelimited);
        m_skipToDelimiter = true;
    }
    if (delimiter >= 0)
        m_skipToDelimiter = false;
    QList<Packet> packets;
    varno::decodeFrames(m_receiveBuffer, packets);
    for (int i = packets.size() - 1; i >= 0; --i) {
        if (packets.at(i).payload.size() > kMaxReceiveBufferBytes) {
            VWARN << "Dropping " << packets.at(i).payload.size() << " bytes of input without a frame end";
            packets.removeAt(i);
        }
    }
    if (m_receiveBuffer.size() > kMaxReceiveBufferBytes) {
        VWARN << "Dropping " << m_receiveBuffer.size() << " bytes of input without a frame end";
        m_receiveBuffer.clear();
        m_skipToDelimiter = true;
    }
    if (!packets.isEmpty()) {
        QMutexLocker locker(&m_mutex);
        m_decoded.append(packets);
    }
    processPackets();
}

void Framer::processPackets()
{
    // Any signal below may end in this framer's deletion (a dead link removes its device).
    QPointer<Framer> self(this);
    for (;;) {
        Packet packet;
        {
            QMutexLocker locker(&m_mutex);
            if (m_decoded.isEmpty())
                return;
            packet = m_decoded.takeFirst();
        }
        if (!packet.valid || packet.computeCrc() != packet.crc) {
            VWARN << "Bad CRC: " << packet.hexDump();
            if (packet.valid && packet.isData())
                sendNak(packet.sequence());
            return;
        }

        if (packet.isData()) {
            if (packet.sequence() != m_rxSequence) {
                m_abortReason = 1;
                reset();
                sendAbort();
                return;
            }
            if (m_messageBuffer.size() + packet.payload.size() > m_maxMessageBytes) {
                // Only this message is lost: the device stops sending it, the link goes on.
                const int gathered = m_messageBuffer.size();
                VWARN << "Dropping an incoming message longer than " << m_maxMessageBytes << " bytes";
                Abort();
                emit MessageDropped(gathered);
                return;
            }
            // The expected number is deliberately not advanced: the monitor numbers every frame 0.
            m_rxSequence = packet.sequence();
            sendAck(packet.sequence());
            m_messageBuffer.append(packet.payload);
            emit DataReceived(m_messageBuffer.size());
            if (!self)
                return;
            if (packet.isLast()) {
                const QByteArray message = m_messageBuffer;
                m_messageBuffer.clear();
                emit DataReady(message);
                if (!self)
                    return;
            }
            continue;
        }

        if (packet.isAck()) {
            if (packet.ackNumber() == m_txSequence) {
                {
                    QMutexLocker locker(&m_mutex);
                    m_hasInFlight = false;
                    m_inFlight = Packet();
                }
                m_timer->stop();
                m_retryCount = 0;
                sendNext();
                ++m_ackedFrames;
                emit FrameSent(m_ackedFrames);
                if (!self)
                    return;
            } else {
                m_abortReason = 1;
                reset();
                sendAbort();
                return;
            }
        }
        if (packet.isAbort()) {
            m_timer->stop();
            reset();
            emit Aborted(2);
            return;
        }
        if (packet.isNak()) {
            m_timer->stop();
            sendNext();
        }
        if (packet.isMessage()) {
            emit DataReady(packet.payload);
            if (!self)
                return;
        }
    }
}

void Framer::sendNext()
{
    Packet packet;
    {
        QMutexLocker locker(&m_mutex);
        if (m_outgoing.isEmpty() && !m_hasInFlight)
            return;
        packet = m_hasInFlight ? m_inFlight : m_outgoing.takeFirst();
    }
    writePacket(packet);
    if (!packet.isData())
        return;
    {
        QMutexLocker locker(&m_mutex);
        m_inFlight = packet;
        m_hasInFlight = true;
        m_txSequence = packet.sequence();
    }
    m_timer->start(m_ackTimeoutMs);
}

void Framer::timerTimeout()
{
    {
        QMutexLocker locker(&m_mutex);
        if (!m_hasInFlight)
            return;
    }
    ++m_retryCount;
    if (m_retryCount > m_maxRetries) {
        m_abortReason = 1;
        reset();
        sendAbort();
        return;
    }
    sendNext();
}

void Framer::writePacket(const Packet &packet)
{
    const QByteArray frame = packet.encode();
    // Whole frames must not interleave on the line.
    QMutexLocker locker(&m_writeMutex);
    int written = 0;
    while (written < frame.size()) {
        const int n = m_port->Write(frame.mid(written));
        if (n <= 0)
            return; // the acknowledgement time-out drives the retransmission
        written += n;
    }
}

void Framer::sendAck(int sequence)
{
    writePacket(Packet::ack(sequence));
}

void Framer::sendNak(int sequence)
{
    writePacket(Packet::nak(sequence));
}

void Framer::sendAbort()
{
    writePacket(Packet::abort());
    if (m_abortReason != 0)
        emit Aborted(m_abortReason);
}

void Framer::reset()
{
    QMutexLocker locker(&m_mutex);
    m_outgoing.clear();
    m_decoded.clear();
    m_messageBuffer.clear();
    m_txSequence = 0;
    m_rxSequence = 0;
    m_hasInFlight = false;
    m_inFlight = Packet();
    m_retryCount = 0;
}
