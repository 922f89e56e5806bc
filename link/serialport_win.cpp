// The Windows communication functions: an exclusive overlapped open of the COM port, 8N1 at the
// configured speed with DTR/RTS off, a reader thread that keeps one overlapped ReadFile pending
// with interval time-outs, and writes bounded by the write wait. The reader does not wait on
// WaitCommEvent: Wine completes it at once on a pseudo-terminal, which our tests run on, and a read
// with an interval time-out wakes as soon as bytes arrive on both.

#include "link/serialport.h"

#include "link/logging.h"

#include <QDebug>
#include <QMutexLocker>
#include <QRegularExpression>

#include <windows.h>

namespace {

// A read returns this long after the last byte of a burst, or after the read wait with nothing.
constexpr DWORD kReadIntervalMs = 5;
constexpr DWORD kReadChunkBytes = 4096;

HANDLE toHandle(qintptr value)
{
    return reinterpret_cast<HANDLE>(value);
}

// "COM5" is a name only the shell knows; CreateFile needs the device namespace, and for COM10 and
// above nothing else works.
QString devicePath(const QString &path)
{
    static const QRegularExpression comName(QStringLiteral("^COM[0-9]+$"),
                                            QRegularExpression::CaseInsensitiveOption);
    return comName.match(path).hasMatch() ? QStringLiteral("\\\\.\\") + path : path;
}

// What a read or write ends with when the port went away (USB unplugged, the driver gone), as
// opposed to a failure worth trying again.
bool isDisconnect(DWORD error)
{
    switch (error) {
    case ERROR_BROKEN_PIPE: // 109: Wine, and usbser.sys on surprise removal
    case ERROR_BAD_COMMAND: // 22
    case ERROR_OPERATION_ABORTED: // 995: the driver cancelled the read
    case ERROR_ACCESS_DENIED: // 5: usbser.sys once the device is gone
    case ERROR_GEN_FAILURE: // 31
    case ERROR_DEVICE_NOT_CONNECTED: // 1167
        return true;
    default:
        return false;
    }
}

// Waits for an overlapped operation that must end before its OVERLAPPED and buffer go.
bool finish(HANDLE port, OVERLAPPED *ov, DWORD *transferred)
{
    return GetOverlappedResult(port, ov, transferred, TRUE) != 0;
}

constexpr DWORD kCancelWaitMs = 1000;

// A read or write in flight, on the heap: Wine does not always complete a cancelled operation on a
// pty whose other end is gone, and the system would then write into memory no longer ours. Such
// an operation is abandoned, left allocated, instead of waited for without end.
struct Operation
{
    OVERLAPPED ov = {};
    QByteArray buffer;

    explicit Operation(int size)
        : buffer(size, Qt::Uninitialized)
    {
        ov.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    }
    ~Operation() { CloseHandle(ov.hEvent); }
};

// Ends an operation that is still pending: cancels it and waits a bounded time for the outcome.
// Returns false, with the operation given up (still allocated), when it does not end.
bool cancelAndFinish(HANDLE port, Operation *op, DWORD *transferred, DWORD *error)
{
    CancelIoEx(port, &op->ov);
    if (WaitForSingleObject(op->ov.hEvent, kCancelWaitMs) != WAIT_OBJECT_0) {
        VLOG << "A cancelled port operation did not end; it is given up";
        *error = ERROR_OPERATION_ABORTED;
        return false;
    }
    const bool ok = GetOverlappedResult(port, &op->ov, transferred, FALSE) != 0;
    *error = ok ? ERROR_SUCCESS : GetLastError();
    return true;
}

struct EventHandle
{
    HANDLE handle = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ~EventHandle()
    {
        if (handle)
            CloseHandle(handle);
    }
};

} // namespace

QString SerialPortException::text() const
{
    wchar_t *buffer = nullptr;
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM
                                            | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, DWORD(m_error), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                                        reinterpret_cast<wchar_t *>(&buffer), 0, nullptr);
    QString message;
    if (length && buffer)
        message = QString::fromWCharArray(buffer, int(length)).trimmed();
    if (buffer)
        LocalFree(buffer);
    return QStringLiteral("Failed with error %1: %2").arg(m_error).arg(message);
}

void SerialPort::Open()
{
    const std::wstring native = devicePath(m_path).toStdWString();
    // Share mode 0: a second open of the port fails with a sharing violation.
    const HANDLE port = CreateFileW(native.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (port == INVALID_HANDLE_VALUE)
        throw SerialPortException(int(GetLastError()));
    m_fd = reinterpret_cast<qintptr>(port);
    m_open = true;
    SetupComm(port, DWORD(m_inQueue), DWORD(m_outQueue));
    PurgeComm(port, PURGE_RXCLEAR | PURGE_TXCLEAR | PURGE_RXABORT | PURGE_TXABORT);
    COMMTIMEOUTS timeouts = {};
    timeouts.ReadIntervalTimeout = kReadIntervalMs;
    timeouts.ReadTotalTimeoutConstant = DWORD(m_readWaitMs);
    timeouts.WriteTotalTimeoutConstant = DWORD(m_writeWaitMs);
    if (!SetCommTimeouts(port, &timeouts))
        VLOG << "Port time-outs not set on " << m_path << ": " << GetLastError();
    if (!applySettings())
        VLOG << "Port settings not applied to " << m_path << ": " << GetLastError();
    // DTR and RTS off. A pseudo-terminal under Wine has no modem lines (error 50): best effort.
    EscapeCommFunction(port, CLRDTR);
    EscapeCommFunction(port, CLRRTS);
}

bool SerialPort::applySettings()
{
    if (m_fd == -1)
        return false;
    DCB dcb = {};
    dcb.DCBlength = sizeof(dcb);
    if (!GetCommState(toHandle(m_fd), &dcb))
        return false;
    dcb.BaudRate = DWORD(m_baud);
    dcb.fBinary = TRUE;
    dcb.ByteSize = 8;
    dcb.Parity = BYTE(m_parity);
    dcb.fParity = m_parity != 0;
    dcb.StopBits = m_stopBits == 2 ? TWOSTOPBITS : (m_stopBits == 1 ? ONE5STOPBITS : ONESTOPBIT);
    // No abort on a line error: it would fail every read with error 995 until ClearCommError,
    // which the reader would take for an unplugged device.
    dcb.fAbortOnError = FALSE;
    dcb.EvtChar = m_eventChar;
    switch (m_flowControl) {
    case NoFlowControl:
        dcb.fDtrControl = DTR_CONTROL_DISABLE;
        dcb.fRtsControl = RTS_CONTROL_DISABLE;
        dcb.fOutxCtsFlow = FALSE;
        dcb.fOutxDsrFlow = FALSE;
        dcb.fOutX = FALSE;
        dcb.fInX = FALSE;
        break;
    case HardwareFlowControl:
        dcb.fDtrControl = DTR_CONTROL_HANDSHAKE;
        dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
        dcb.fOutxCtsFlow = TRUE;
        dcb.fOutxDsrFlow = TRUE;
        dcb.fOutX = FALSE;
        dcb.fInX = FALSE;
        break;
    case SoftwareFlowControl:
        dcb.fDtrControl = DTR_CONTROL_ENABLE;
        dcb.fRtsControl = RTS_CONTROL_ENABLE;
        dcb.fOutxCtsFlow = TRUE;
        dcb.fOutxDsrFlow = TRUE;
        dcb.fOutX = TRUE;
        dcb.fInX = TRUE;
        break;
    default:
        break;
    }
    return SetCommState(toHandle(m_fd), &dcb) != 0;
}

void SerialPort::Close()
{
    SetListening(false);
    if (m_fd != -1) {
        PurgeComm(toHandle(m_fd), PURGE_RXCLEAR | PURGE_TXCLEAR | PURGE_RXABORT | PURGE_TXABORT);
        CloseHandle(toHandle(m_fd));
    }
    m_fd = -1;
    m_open = false;
}

void SerialPort::SetEventChar(char c)
{
    // Kept in the port settings; the reader wakes on any byte (see the top of this file).
    m_eventChar = c;
    applySettings();
}

void SerialPort::SetFlowControl(int type)
{
    if (type < NoFlowControl || type > SoftwareFlowControl)
        return;
    m_flowControl = type;
    applySettings();
}

void SerialPort::SetListening(bool on)
{
    if (on) {
        if (isRunning())
            return;
        m_stop = false;
        start(QThread::InheritPriority);
        return;
    }
    m_stop = true;
    // The reader's pending read ends at once instead of at its time-out. Reads and writes come
    // from this same thread, so nothing else is cancelled.
    if (isRunning() && m_fd != -1)
        CancelIoEx(toHandle(m_fd), nullptr);
    wait();
}

int SerialPort::directRead(QByteArray &out, int size)
{
    if (m_fd == -1 || size <= 0)
        return size <= 0 ? 0 : -1;
    const HANDLE port = toHandle(m_fd);
    // Only what the driver holds already, so the call does not wait for more.
    COMSTAT status = {};
    DWORD errors = 0;
    if (!ClearCommError(port, &errors, &status))
        return -1;
    const DWORD wanted = qMin<DWORD>(DWORD(size), status.cbInQue);
    if (wanted == 0)
        return 0;
    EventHandle event;
    OVERLAPPED ov = {};
    ov.hEvent = event.handle;
    QByteArray chunk(int(wanted), Qt::Uninitialized);
    DWORD got = 0;
    if (!ReadFile(port, chunk.data(), wanted, &got, &ov)) {
        const DWORD error = GetLastError();
        if (error != ERROR_IO_PENDING)
            return error == ERROR_TIMEOUT ? 0 : -1;
        if (!finish(port, &ov, &got) && GetLastError() != ERROR_TIMEOUT)
            return -1;
    }
    out.append(chunk.constData(), int(got));
    return int(got);
}

int SerialPort::Write(const QByteArray &data)
{
    if (m_fd == -1)
        return -1;
    if (data.isEmpty())
        return 0;
    const HANDLE port = toHandle(m_fd);
    auto *op = new Operation(0);
    op->buffer = data;
    DWORD written = 0;
    DWORD error = ERROR_SUCCESS;
    if (WriteFile(port, op->buffer.constData(), DWORD(data.size()), &written, &op->ov)) {
        delete op;
        return int(written);
    }
    if (GetLastError() != ERROR_IO_PENDING) {
        delete op;
        return -1;
    }
    if (WaitForSingleObject(op->ov.hEvent, DWORD(m_writeWaitMs)) == WAIT_OBJECT_0) {
        const bool ok = GetOverlappedResult(port, &op->ov, &written, FALSE) != 0;
        delete op;
        return ok || written > 0 ? int(written) : -1;
    }
    // Over the write wait: cancelled, and what went out before counts.
    if (!cancelAndFinish(port, op, &written, &error))
        return -1;
    delete op;
    return written > 0 ? int(written) : -1;
}

void SerialPort::run()
{
    const HANDLE port = toHandle(m_fd);
    while (!m_stop) {
        auto *op = new Operation(int(kReadChunkBytes));
        DWORD got = 0;
        bool ok = ReadFile(port, op->buffer.data(), kReadChunkBytes, &got, &op->ov) != 0;
        DWORD error = ok ? ERROR_SUCCESS : GetLastError();
        if (!ok && error == ERROR_IO_PENDING) {
            // The read ends by itself after the read wait; the bound here only matters should a
            // driver ignore the time-outs, and makes a stop seen either way.
            DWORD waited = WAIT_TIMEOUT;
            while (!m_stop
                   && (waited = WaitForSingleObject(op->ov.hEvent, DWORD(m_readWaitMs))) == WAIT_TIMEOUT) {
            }
            if (waited == WAIT_OBJECT_0) {
                ok = GetOverlappedResult(port, &op->ov, &got, FALSE) != 0;
                error = ok ? ERROR_SUCCESS : GetLastError();
            } else if (!cancelAndFinish(port, op, &got, &error)) {
                break; // given up, never to be touched again
            } else {
                ok = error == ERROR_SUCCESS;
            }
        }
        // Wine ends a read whose time-out passed with ERROR_TIMEOUT instead of success; whatever it
        // read before is still the count.
        if (!ok && error == ERROR_TIMEOUT)
            ok = true;
        const QByteArray received = ok ? op->buffer.left(int(got)) : QByteArray();
        delete op;
        if (!ok) {
            if (m_stop)
                break;
            if (isDisconnect(error)) {
                // Nothing will come any more; the link layer gives up when its frames go unanswered.
                VLOG << "Port " << m_path << " is gone: error " << uint(error);
                break;
            }
            DWORD errors = 0;
            ClearCommError(port, &errors, nullptr);
            QThread::msleep(quint32(m_readWaitMs));
            continue;
        }
        if (received.isEmpty())
            continue;
        {
            QMutexLocker locker(&m_mutex);
            m_pending.append(received);
        }
        emit DataReceived(qint64(received.size()));
    }
}
