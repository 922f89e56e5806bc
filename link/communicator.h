#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

class Framer;
class SerialPort;

// The message layer of one device: opens and configures its port, owns the framer, sends commands
// (a code byte and parameters) and hands every whole incoming message up unchanged.
class Communicator : public QObject
{
    Q_OBJECT
public:
    // Opens the port; a SerialPortException leaves the constructor when it cannot be opened, and the
    // port then stays the caller's to delete. Once constructed, the framer owns the port.
    Communicator(SerialPort *port, QObject *parent = nullptr);
    ~Communicator() override;

    int Send(quint8 code, const QByteArray &params);
    int Send(quint8 code);
    int SendUnacknowledged(quint8 code);
    void Abort();
    QString PortName() const;
    Framer *framer() const { return m_framer; }
    int lastFrameCount() const { return m_lastFrameCount; }

signals:
    void userData(QByteArray data);
    void dataSent(int frames);
    void dataReceived(int bytes);
    void aborted(int reason);
    void messageDropped(int bytes);

private:
    Framer *m_framer = nullptr;
    int m_lastFrameCount = 0;
};
