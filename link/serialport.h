#pragma once

#include <QByteArray>
#include <QMutex>
#include <QString>
#include <QThread>
#include <atomic>
#include <exception>
#include <string>

class QDebug;

// Thrown when a port cannot be opened; carries the system error code (errno, or GetLastError() on
// Windows).
class SerialPortException : public std::exception
{
public:
    explicit SerialPortException(int error);
    int error() const { return m_error; }
    // "Failed with error %d: %s" with the system's message for the code.
    QString text() const;
    const char *what() const noexcept override { return m_what.c_str(); }

private:
    int m_error;
    std::string m_what;
};

QDebug operator<<(QDebug debug, const SerialPortException &e);

// The device's serial port: opened by path, configured, and read by its own thread that keeps what
// arrives in a pending buffer until the frame codec fetches it. Writes run on the caller's thread.
class SerialPort : public QThread
{
    Q_OBJECT
public:
    enum FlowControl { NoFlowControl = 0, HardwareFlowControl = 1, SoftwareFlowControl = 2 };

    SerialPort(const QString &path, int inQueue, int outQueue, QObject *parent = nullptr);
    ~SerialPort() override;

    void Open();
    void Close();
    bool IsOpen() const { return m_open; }
    QString path() const { return m_path; }

    void SetBaudRate(int baud);
    void SetParity(int parity);
    void SetStopBits(int stopBits);
    void SetEventChar(char c);
    void SetFlowControl(int type);
    void SetReadTimeout(int ms) { m_readWaitMs = ms; }
    void SetWriteTimeout(int ms) { m_writeWaitMs = ms; }

    void SetListening(bool on);
    bool IsListening() const { return !m_stop; }

    int Read(QByteArray &out, uint maxSize);
    int Write(const QByteArray &data);

signals:
    void DataReceived(qint64 bytes);

protected:
    void run() override;

private:
    int directRead(QByteArray &out, int size);
    bool applySettings();

    QString m_path;
    // The open port: a file descriptor, or on Windows the value of its HANDLE; -1 when closed.
    qintptr m_fd = -1;
    bool m_open = false;
    int m_readWaitMs = 200;
    int m_writeWaitMs = 200;
    int m_inQueue;
    int m_outQueue;
    int m_baud = 115200;
    int m_parity = 0;
    int m_stopBits = 0;
    int m_flowControl = -1;
    char m_eventChar = 0;
    std::atomic<bool> m_stop { true };
    QMutex m_mutex;
    QByteArray m_pending;
};
