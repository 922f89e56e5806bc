#include "tasks/taskmanager.h"

#include "link/logging.h"
#include "tasks/commandtarget.h"
#include "tasks/devicetask.h"
#include "tasks/notificationhub.h"
#include "tasks/taskscheduler.h"

TaskManager *TaskManager::instance()
{
    static TaskManager *manager = new TaskManager();
    return manager;
}

TaskManager::~TaskManager()
{
    for (TaskScheduler *scheduler : qAsConst(m_schedulers))
        scheduler->deleteLater();
}

DeviceTask *TaskManager::addTask(DeviceTask *task)
{
    return instance()->add(task);
}

void TaskManager::removeScheduler(const QString &deviceName)
{
    instance()->remove(deviceName);
}

DeviceTask *TaskManager::add(DeviceTask *task)
{
    if (!task)
        return nullptr;
    CommandTarget *device = task->device();
    if (!device) {
        VLOG << "Task " << task->name() << " has no device, refused";
        delete task;
        return nullptr;
    }
    const QString key = device->name();
    TaskScheduler *scheduler = m_schedulers.value(key);
    if (!scheduler) {
        scheduler = new TaskScheduler(key, this);
        m_schedulers.insert(key, scheduler);
        connect(scheduler, &TaskScheduler::progress, NotificationHub::instance(),
                &NotificationHub::OnProgressNotification, Qt::QueuedConnection);
        connect(scheduler, &TaskScheduler::taskComplete, device, &CommandTarget::OnTaskComplete);
    }
    return scheduler->addTask(task) ? task : nullptr;
}

bool TaskManager::discard(DeviceTask *task)
{
    if (!task || !task->device())
        return false;
    TaskScheduler *scheduler = instance()->m_schedulers.value(task->device()->name());
    return scheduler && scheduler->discard(task);
}

void TaskManager::remove(const QString &deviceName)
{
    TaskScheduler *scheduler = m_schedulers.take(deviceName);
    if (!scheduler)
        return;
    scheduler->clear(true);
    scheduler->deleteLater();
}
