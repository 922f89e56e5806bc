#include "device/commandhandle.h"

#include "tasks/devicetask.h"
#include "tasks/taskmanager.h"

#include <QTimer>

CommandHandle::CommandHandle(DeviceTask *task, QObject *parent)
    : QObject(parent)
    , m_task(task)
    , m_command(task->dataId())
    , m_name(task->name())
{
    // Ours until the queue takes it; a handle deleted first takes its task along.
    task->setParent(this);
    connect(task, &Task::Progress, this, &CommandHandle::progress);
    // Direct: the result is read while the task still exists; it is announced later.
    connect(task, &Task::Complete, this, &CommandHandle::OnTaskComplete);
    connect(task, &QObject::destroyed, this, &CommandHandle::OnTaskGone);
    QTimer::singleShot(0, this, &CommandHandle::enqueue);
}

CommandHandle::~CommandHandle()
{
    if (m_task)
        disconnect(m_task, nullptr, this, nullptr);
}

void CommandHandle::enqueue()
{
    if (m_finished || !m_task)
        return;
    m_queued = true;
    // A refused task (no device, or a queue closed by a broken link) is destroyed there.
    if (!TaskManager::addTask(m_task)) {
        finish(TaskResult(m_name, QVariant(), TaskResult::Aborted, m_command,
                          tr("the device does not take commands any more")));
    }
}

void CommandHandle::cancel()
{
    if (m_finished)
        return;
    if (m_task && m_task->status() == Task::Running) {
        m_task->cancel();
        return;
    }
    // Not started yet: it must never reach the device.
    DeviceTask *task = m_task;
    const bool queued = m_queued;
    finish(TaskResult(m_name, QVariant(), TaskResult::Canceled, m_command));
    if (!task)
        return;
    if (queued)
        TaskManager::discard(task);
    else
        delete task;
}

void CommandHandle::OnTaskComplete()
{
    if (m_task)
        finish(m_task->result());
}

void CommandHandle::OnTaskGone()
{
    // Dropped from a queue that was cleared (device gone) before it could run.
    finish(TaskResult(m_name, QVariant(), m_queued ? TaskResult::Aborted : TaskResult::Canceled,
                      m_command));
}

void CommandHandle::finish(const TaskResult &result)
{
    if (m_finished)
        return;
    m_finished = true;
    m_result = result;
    if (m_task)
        disconnect(m_task, nullptr, this, nullptr);
    m_task = nullptr;
    // Announced once the task machinery (and the device's data item) is done with the result.
    QTimer::singleShot(0, this, [this] {
        emit finished(m_result);
        deleteLater();
    });
}
