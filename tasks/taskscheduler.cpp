#include "tasks/taskscheduler.h"

#include "link/logging.h"
#include "tasks/task.h"

#include <QThread>

TaskScheduler::TaskScheduler(const QString &deviceName, QObject *parent)
    : QObject(parent)
    , m_deviceName(deviceName)
{
}

TaskScheduler::~TaskScheduler()
{
    m_closed = true;
    clear(true);
}

bool TaskScheduler::addTask(Task *task)
{
    if (!task)
        return false;
    if (m_closed) {
        // Neither run nor reported; it is ours now, so it must not be left behind.
        VLOG << "Scheduler " << m_deviceName << " closed, task refused: " << task->name();
        delete task;
        return false;
    }
    task->setParent(this);
    m_queue.append(task);
    if (!m_current)
        dispatch();
    return true;
}

void TaskScheduler::releaseCurrent()
{
    Task *task = m_current;
    m_current = nullptr;
    if (!task)
        return;
    disconnect(task, nullptr, this, nullptr);
    // The task may still be inside its own Complete() emission (or its watchdog's timeout), so it
    // goes once control is back in the event loop.
    task->deleteLater();
}

void TaskScheduler::dispatch()
{
    while (true) {
        if (m_current) {
            if (m_current->status() != Task::Finished)
                return;
            releaseCurrent();
        }
        if (m_queue.isEmpty() || m_closed)
            return;

        Task *task = m_queue.takeFirst();
        m_current = task;
        if (!task->isSilent())
            connect(task, &Task::Progress, this, &TaskScheduler::OnTaskProgress);
        connect(task, &Task::Complete, this, &TaskScheduler::OnTaskComplete);
        VLOG << task << " executing";
        if (task->start())
            return;
        // A task that cannot start would block the queue for good.
        if (m_current == task && task->status() == Task::Idle) {
            VLOG << task << " could not start, dropped";
            releaseCurrent();
        } else {
            return;
        }
    }
}

void TaskScheduler::OnTaskProgress(const QString &text, int percent)
{
    VLOG << "Progress reported: " << percent;
    emit progress(text, percent);
}

void TaskScheduler::OnTaskComplete()
{
    VLOG << "Thread:" << QThread::currentThread() << ' ' << sender() << " task complete";
    auto *task = qobject_cast<Task *>(sender());
    if (!task)
        return;
    const TaskResult result = task->result();
    if (result.code() == TaskResult::Aborted) {
        m_closed = true;
        clear(false);
    }
    emit taskComplete(result);
    dispatch();
}

bool TaskScheduler::discard(Task *task)
{
    if (!m_queue.removeOne(task))
        return false;
    delete task;
    return true;
}

void TaskScheduler::clear(bool cancelCurrent)
{
    while (!m_queue.isEmpty())
        delete m_queue.takeFirst();
    if (cancelCurrent && m_current) {
        if (m_current->status() == Task::Running)
            m_current->cancel();
        releaseCurrent();
    }
}
