// What the port does the same way on every system: its settings kept and applied, and reads served
// from what the reader thread gathered (or straight from the port while nobody listens).

#include "link/serialport.h"

#include <QDebug>
#include <QMutexLocker>

SerialPortException::SerialPortException(int error)
    : m_error(error)
    , m_what(text().toStdString())
{
}

QDebug operator<<(QDebug debug, const SerialPortException &e)
{
    QDebugStateSaver saver(debug);
    debug.nospace().quote() << e.text();
    return debug;
}

SerialPort::SerialPort(const QString &path, int inQueue, int outQueue, QObject *parent)
    : QThread(parent)
    , m_path(path)
    , m_inQueue(inQueue)
    , m_outQueue(outQueue)
{
}

SerialPort::~SerialPort()
{
    if (m_open || isRunning())
        Close();
}

void SerialPort::SetBaudRate(int baud)
{
    m_baud = baud;
    applySettings();
}

void SerialPort::SetParity(int parity)
{
    m_parity = parity;
    applySettings();
}

void SerialPort::SetStopBits(int stopBits)
{
    m_stopBits = stopBits;
    applySettings();
}

int SerialPort::Read(QByteArray &out, uint maxSize)
{
    if (m_stop && !isRunning())
        return directRead(out, int(qMin<uint>(maxSize, 1u << 20)));
    QMutexLocker locker(&m_mutex);
    const int n = int(qMin<qint64>(m_pending.size(), qint64(maxSize)));
    out.append(m_pending.constData(), n);
    m_pending.remove(0, n);
    return n;
}
