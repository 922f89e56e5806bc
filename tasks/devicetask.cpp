#include "tasks/devicetask.h"

#include "device/device.h"
#include "link/communicator.h"
#include "link/logging.h"

#include <algorithm>
#include <cmath>

DeviceTask::DeviceTask(Device *device, const QString &name, QObject *parent)
    : Task(name, parent, 1000)
    , m_device(device)
{
}

Device *DeviceTask::device() const
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
    if (!m_device)
        return false;
    connect(m_device, &Device::userDataReceived, this, &DeviceTask::OnUserData);
    connect(m_device, &Device::aborted, this, &DeviceTask::OnAbort);
    connect(m_device, &Device::dataReceived, this, &DeviceTask::OnDataReceived);
    connect(m_device, &Device::dataSent, this, &DeviceTask::OnDataSent);
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
    if (m_device)
        disconnect(m_device, nullptr, this, nullptr);
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

bool DeviceTask::refuse(const QVariant &result, const char *why)
{
    VLOG << name() << ": " << why << ", nothing sent";
    setResultData(result);
    setResultCode(TaskResult::Error);
    return false;
}

int DeviceTask::acceptanceReply(const QByteArray &data, quint8 command)
{
    if (data.size() != 2 || quint8(data.at(0)) != command) {
        setResultData(false);
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

void DeviceTask::OnAbort(int reason)
{
    VLOG << this << " aborted with reason " << reason;
    disconnectDevice();
    cancelTimer();
    setResultCode(TaskResult::Aborted);
    setResultData(QVariant());
    setStatus(Finished); // may destroy this task
}
