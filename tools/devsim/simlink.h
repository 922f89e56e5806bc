#pragma once

#include "link/packet.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>

class QSocketNotifier;
class QTimer;

// Fault injection for testing the host side of the link.
struct SimLinkFaults
{
    int dropAcks = 0; // do not acknowledge the first N host data frames
    int corruptEvery = 0; // corrupt the check value of every Kth frame the device sends
    int nakEvery = 0; // answer every Kth good host data frame with a NAK instead of an ACK
    bool duplicateAcks = false; // acknowledge every host data frame twice
    int abortAfter = 0; // send ABORT instead of handling the Nth message
    bool silent = false; // read everything, answer nothing
};

// The monitor's side of the frame protocol on the master end of a pseudo-terminal: acknowledges each
// host data frame with its number, NAKs a bad check value, resets on ABORT, and sends each reply as
// data frames of at most 24 bytes, one at a time, waiting for the host's ACK and retransmitting
// after 400 ms once the host has read the frame. The host expects every device frame to carry number 0.
class SimLink : public QObject
{
    Q_OBJECT
public:
    explicit SimLink(QObject *parent = nullptr);
    ~SimLink() override;

    bool open();
    QString slavePath() const { return m_slavePath; }
    void setFaults(const SimLinkFaults &faults) { m_faults = faults; }
    // Emulates a serial line of this speed in each direction (10 bits a byte); 0 = as fast as the pty.
    void setBaudRate(int baud);

    void sendMessage(const QByteArray &message);
    int messagesReceived() const { return m_messagesReceived; }

signals:
    void messageReceived(const QByteArray &message);
    void hostAborted();

private slots:
    void OnReadable();
    void OnRetransmit();
    void OnLineTick();

private:
    void feed(const QByteArray &bytes);
    void handlePacket(const Packet &packet);
    void writeFrame(const Packet &packet, bool mayCorrupt);
    void writeRaw(const QByteArray &bytes);
    void flushOutput();
    void sendNextFrame();
    void resetState();
    bool hostIsBehind() const;

    int m_master = -1;
    int m_slaveKeepAlive = -1;
    QString m_slavePath;
    QSocketNotifier *m_notifier = nullptr;
    QTimer *m_retransmitTimer;
    QTimer *m_lineTimer;
    SimLinkFaults m_faults;

    QByteArray m_rxBuffer;
    QByteArray m_message;
    QList<Packet> m_outgoing;
    bool m_inFlight = false;
    int m_framesSent = 0;
    int m_hostFrames = 0;
    int m_messagesReceived = 0;
    QByteArray m_lastAccepted;
    bool m_lastAckDropped = false;
    // Counts the reads from the line, and remembers the read whose frame we last acknowledged.
    int m_readCount = 0;
    int m_lastAckRead = -1;

    int m_baud = 0;
    QElapsedTimer m_lineClock;
    QByteArray m_txLine; // bytes waiting for the emulated line, device to host
    QByteArray m_rxLine; // bytes waiting for the emulated line, host to device
    qint64 m_txBudgetStartUs = 0;
    qint64 m_rxBudgetStartUs = 0;
};
