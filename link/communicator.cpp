#include "link/communicator.h"

#include "link/framer.h"
#include "link/serialport.h"

Communicator::Communicator(SerialPort *port, QObject *parent)
    : QObject(parent)
{
    port->Open();
    port->SetBaudRate(115200);
    port->SetParity(0);
    port->SetFlowControl(SerialPort::NoFlowControl);
    m_framer = new Framer(port, this);
    connect(m_framer, &Framer::DataReady, this, &Communicator::userData);
    connect(m_framer, &Framer::FrameSent, this, &Communicator::dataSent);
    connect(m_framer, &Framer::Aborted, this, &Communicator::aborted);
    connect(m_framer, &Framer::DataReceived, this, &Communicator::dataReceived);
    connect(m_framer, &Framer::MessageDropped, this, &Communicator::messageDropped);
    m_framer->StartListening();
}

Communicator::~Communicator()
{
    disconnect(m_framer, nullptr, this, nullptr);
    m_framer->StopListening();
    delete m_framer;
}

int Communicator::Send(quint8 code, const QByteArray &params)
{
    QByteArray message;
    message.reserve(params.size() + 1);
    message.append(char(code));
    message.append(params);
    m_lastFrameCount = m_framer->SendMessage(message, true);
    return m_lastFrameCount;
}

int Communicator::Send(quint8 code)
{
    return m_framer->SendMessage(QByteArray(1, char(code)), true);
}

int Communicator::SendUnacknowledged(quint8 code)
{
    return m_framer->SendMessage(QByteArray(1, char(code)), false);
}

void Communicator::Abort()
{
    if (m_framer->HasUnprocessedInput())
        m_framer->Abort();
}

QString Communicator::PortName() const
{
    return m_framer->port()->path();
}
