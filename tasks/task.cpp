#include "tasks/task.h"

#include "device/deviceinfo.h"
#include "link/logging.h"

#define TLOG VLOG << Q_FUNC_INFO << ' ' << this << ' '

Task::Task(const QString &name, QObject *parent, int timeoutMs)
    : QObject(parent)
    , m_name(name)
    , m_timeoutMs(timeoutMs)
{
    m_watchdog.setSingleShot(true);
    m_watchdog.setInterval(timeoutMs);
    connect(&m_watchdog, &QTimer::timeout, this, &Task::OnTimeout);
}

Task::~Task() = default;

void Task::cancelTask(bool timedOut)
{
    if (m_status == Finished)
        return;
    TLOG << "canceled";
    setResultData(QVariant());
    m_resultCode = timedOut ? TaskResult::TimedOut : TaskResult::Canceled;
    setStatus(Finished);
}

void Task::cancel()
{
    if (m_status == Finished)
        return;
    TLOG << "Cancel by user request";
    cancelTask(false);
}

void Task::setStatus(int status)
{
    cancelTimer();
    if (m_status == Finished)
        return;
    m_status = status;
    if (status == Finished)
        emit Complete(); // the receiver may destroy this task; touch nothing after it
}

void Task::setResultCode(int code)
{
    // The outcome is fixed once reported.
    if (m_status != Finished)
        m_resultCode = code;
}

void Task::setTimeout(int ms)
{
    m_timeoutMs = ms;
    if (m_watchdog.isActive()) {
        m_watchdog.stop();
        m_watchdog.setInterval(ms);
        m_watchdog.start();
    } else {
        m_watchdog.setInterval(ms);
    }
}

void Task::setResultData(const QVariant &value)
{
    if (m_status == Finished)
        return;
    TLOG << "result set " << value;
    cancelTimer();
    m_resultData = value;
    if (m_dataId == 0 && value.canConvert<DeviceInfo>())
        TLOG << "Task " << value.value<DeviceInfo>();
}

void Task::setResultMessage(const QString &message)
{
    if (m_status != Finished)
        m_resultMessage = message;
}

void Task::requestTimeout()
{
    TLOG << "watchdog requested";
    if (!m_watchdog.isActive())
        m_watchdog.start();
}

void Task::restartTimer()
{
    if (m_watchdog.isActive())
        m_watchdog.stop();
    m_watchdog.start();
}

void Task::cancelTimer()
{
    if (m_watchdog.isActive())
        TLOG << "cancel timer";
    m_watchdog.stop();
}

void Task::reportProgress(const QString &text, int percent)
{
    emit Progress(text, percent);
}

void Task::OnTimeout()
{
    TLOG << "Watchdog timeout";
    cancelTask(true);
}
