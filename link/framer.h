#pragma once

#include "link/packet.h"

#include <QByteArray>
#include <QEvent>
#include <QList>
#include <QMutex>
#include <QObject>

class QTimer;
class SerialPort;

// Posted by the framer to itself so that the next frame goes out from its own thread.
class FramerEvent : public QEvent
{
public:
    FramerEvent();
    static QEvent::Type eventType();
};

// Turns one port's byte stream into whole messages and back: delimiters and byte stuffing,
// CRC-16, fragments of at most 24 bytes, stop-and-wait acknowledgement with retransmission.
class Framer : public QObject
{
    Q_OBJECT
public:
    // Takes ownership of the port.
    explicit Framer(SerialPort *port, QObject *parent = nullptr);
    ~Framer() override;

    int SendMessage(const QByteArray &data, bool reliable);
    void Abort();
    bool HasUnprocessedInput() const;
    void StartListening();
    void StopListening();
    void SetAckTimeout(int ms) { m_ackTimeoutMs = ms; }
    void SetMaxRetries(quint8 retries) { m_maxRetries = retries; }
    void SetMaxMessageBytes(int bytes) { m_maxMessageBytes = bytes; }

    SerialPort *port() const { return m_port; }

    // Longest stretch of undelimited input kept while waiting for a closing delimiter, and the
    // longest message reassembled; beyond them garbage is dropped rather than buffered forever.
    static constexpr int kMaxReceiveBufferBytes = 4096;
    static constexpr int kMaxMessageBytes = 16 * 1024 * 1024;

signals:
    void DataReady(QByteArray msg);
    void FrameSent(int frames);
    void Aborted(int reason);
    void DataReceived(int bytes);
    // An incoming message grew past the cap after this many bytes. It was dropped and the device
    // told to abort its sending; the link itself is fine.
    void MessageDropped(int bytes);

protected:
    bool event(QEvent *e) override;

private slots:
    void ReadData(qint64 msgLength);
    void timerTimeout();

private:
    void decode();
    void processPackets();
    void sendNext();
    void writePacket(const Packet &packet);
    void sendAck(int sequence);
    void sendNak(int sequence);
    void sendAbort();
    void reset();

    SerialPort *m_port;
    QList<Packet> m_outgoing;
    Packet m_inFlight;
    bool m_hasInFlight = false;
    QList<Packet> m_decoded;
    QByteArray m_receiveBuffer;
    QByteArray m_messageBuffer;
    int m_txSequence = 0;
    int m_rxSequence = 0;
    quint8 m_maxRetries = varno::kMaxRetries;
    int m_ackTimeoutMs = varno::kAckTimeoutMs;
    int m_retryCount = 0;
    int m_ackedFrames = 0;
    int m_abortReason = 0;
    int m_maxMessageBytes = kMaxMessageBytes;
    // After overlong input without a frame end, the rest up to the next delimiter is garbage too.
    bool m_skipToDelimiter = false;
    QTimer *m_timer;
    mutable QMutex m_mutex;
    QMutex m_writeMutex;
};
