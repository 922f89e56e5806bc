#include "tasks/devicetask.h"

#include "link/communicator.h"
#include "link/logging.h"
#include "tasks/commandtarget.h"

#include <algorithm>
#include <cmath>

DeviceTask::DeviceTask(CommandTarget *device, const QString &name, int command, int timeoutMs,
                       Reporting reporting, QObject *parent)
    : Task(name, parent, timeoutMs)
    , m_device(device)
{
    setDataId(command);
    setSilent(reporting == Silent);
}

CommandTarget *DeviceTask::device() const
{
    return m_device.data();
}

bool DeviceTask::passwordField(const QString &password, QByteArray *out)
{
    const QByteArray bytes = password.toLocal8Bit();
    if (bytes.size() > kMaxPasswordBytes)
        return false;
    if (out) {
        out->append(char(quint8(bytes.size())));
        out->append(bytes);
    }
    return true;
}

bool DeviceTask::toHundredths(double value, qint64 min, qint64 max, qint64 *out)
{
    if (!std::isfinite(value))
        return false;
    double scaled = value * 100.0;
    const double nearest = std::round(scaled);
    if (std::abs(scaled - nearest) < 1e-6 * std::max(1.0, std::abs(scaled)))
        scaled = nearest;
    scaled = std::trunc(scaled);
    // Compare in double before converting: an out-of-range conversion is undefined.
    if (!(scaled >= double(min)) || !(scaled <= double(max)) || scaled >= 9.2233720368547758e18)
        return false;
    if (out)
        *out = qint64(scaled);
    return true;
}

bool DeviceTask::start()
{
    m_link = m_device ? m_device->communicator() : nullptr;
    if (!m_link)
        return false;
    connect(m_link, &Communicator::userData, this, &DeviceTask::OnUserData);
    connect(m_link, &Communicator::aborted, this, &DeviceTask::OnAbort);
    connect(m_link, &Communicator::dataReceived, this, &DeviceTask::OnDataReceived);
    connect(m_link, &Communicator::dataSent, this, &DeviceTask::OnDataSent);
    connect(m_link, &Communicator::messageDropped, this, &DeviceTask::OnMessageDropped);
    m_connected = true;
    if (sendRequest()) {
        setStatus(Running);
        requestTimeout();
    } else {
        disconnectDevice();
        setStatus(Finished); // may destroy this task
    }
    return true;
}

void DeviceTask::disconnectDevice()
{
    if (!m_connected)
        return;
    m_connected = false;
    if (m_link)
        disconnect(m_link, nullptr, this, nullptr);
}

void DeviceTask::cancelTask(bool timedOut)
{
    if (status() == Finished)
        return;
    disconnectDevice();
    if (m_device && m_device->communicator())
        m_device->communicator()->Abort();
    Task::cancelTask(timedOut);
}

void DeviceTask::handleDataSent(int) { }

void DeviceTask::handleDataReceived(int) { }

int DeviceTask::send(quint8 code)
{
    if (!m_device || !m_device->communicator())
        return 0;
    m_sentCode = code;
    return m_device->communicator()->Send(code);
}

int DeviceTask::send(quint8 code, const QByteArray &params)
{
    if (!m_device || !m_device->communicator())
        return 0;
    m_sentCode = code;
    return m_device->communicator()->Send(code, params);
}

int DeviceTask::sendMessage(const QByteArray &message)
{
    if (message.isEmpty())
        return 0;
    if (message.size() == 1)
        return send(quint8(message.at(0)));
    return send(quint8(message.at(0)), message.mid(1));
}

bool DeviceTask::refuse(const QVariant &result, const QString &message)
{
    VLOG << name() << ": " << message << ", nothing sent";
    setResultData(result);
    setResultMessage(message);
    setResultCode(TaskResult::Refused);
    return false;
}

QString DeviceTask::passwordTooLong(const QString &password)
{
    return tr("the password is %1 bytes long; the device takes passwords of 0 to %2 bytes")
        .arg(password.toLocal8Bit().size())
        .arg(kMaxPasswordBytes);
}

QByteArray DeviceTask::passwordRequest(quint8 command, const QByteArray &fields,
                                       const QString &password, QString *why)
{
    QByteArray field;
    if (!passwordField(password, &field)) {
        if (why)
            *why = passwordTooLong(password);
        return QByteArray();
    }
    QByteArray message;
    message.append(char(command));
    message.append(field.at(0));
    message.append(fields);
    message.append(field.mid(1));
    return message;
}

bool DeviceTask::sendOrRefuse(const QString &progressText, const QByteArray &request,
                              const QString &why)
{
    reportProgress(progressText, -1);
    if (request.isEmpty())
        return refuse(false, why);
    sendMessage(request);
    return true;
}

int DeviceTask::acceptanceReply(const QByteArray &data, quint8 command, const QVariant &malformed)
{
    if (data.size() != 2 || quint8(data.at(0)) != command) {
        setResultData(malformed);
        return TaskResult::Error;
    }
    setResultData(data.at(1) != 0);
    return TaskResult::Successful;
}

void DeviceTask::OnUserData(const QByteArray &data)
{
    // Every reply starts with the code of the command it answers. One that does not answers an
    // earlier command: the device received it twice, or resent its reply because our ACK came
    // late (a busy machine). Taking it would shift every later reply onto the wrong task.
    if (m_sentCode >= 0 && !data.isEmpty() && quint8(data.at(0)) != quint8(m_sentCode)) {
        VLOG << name() << ": dropping a reply to command " << quint8(data.at(0)) << ", waiting for "
             << m_sentCode;
        return;
    }
    const uint code = uint(processData(data));
    if (code <= TaskResult::Canceled) {
        cancelTimer();
        if (m_connected) {
            disconnectDevice();
            if (m_device && m_device->communicator())
                m_device->communicator()->Abort();
        }
        setResultCode(int(code));
        setStatus(Finished); // may destroy this task
    } else {
        restartTimer();
    }
}

void DeviceTask::OnDataSent(int frames)
{
    restartTimer();
    handleDataSent(frames);
}

void DeviceTask::OnDataReceived(int bytes)
{
    restartTimer();
    handleDataReceived(bytes);
}

void DeviceTask::OnMessageDropped(int bytes)
{
    VLOG << this << " reply dropped after " << bytes << " bytes";
    disconnectDevice();
    cancelTimer();
    setResultCode(TaskResult::Error);
    setResultData(QVariant());
    setStatus(Finished); // may destroy this task
}

void DeviceTask::OnAbort(int reason)
{
    VLOG << this << " aborted with reason " << reason;
    disconnectDevice();
    cancelTimer();
    setResultCode(TaskResult::Aborted);
    setResultData(QVariant());
    setStatus(Finished); // may destroy this task
}
