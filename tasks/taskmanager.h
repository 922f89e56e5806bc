#pragma once

#include <QMap>
#include <QObject>
#include <QString>

class DeviceTask;
class TaskScheduler;

// The one registry of task queues, one per device name. Every device operation goes through here.
class TaskManager : public QObject
{
    Q_OBJECT
public:
    static TaskManager *instance();

    // Hands the task to its device's queue, which owns it from then on. Returns the task, or null
    // when it was refused (no device, or the device's queue is closed); a refused task is destroyed.
    static DeviceTask *addTask(DeviceTask *task);
    static void removeScheduler(const QString &deviceName);
    // Takes a task that waits in its device's queue out again and destroys it; a task already
    // started is left alone (cancel it instead).
    static bool discard(DeviceTask *task);

    TaskScheduler *scheduler(const QString &deviceName) const { return m_schedulers.value(deviceName); }

private:
    TaskManager() = default;
    ~TaskManager() override;

    DeviceTask *add(DeviceTask *task);
    void remove(const QString &deviceName);

    QMap<QString, TaskScheduler *> m_schedulers;
};
