#pragma once

#include "tasks/taskresult.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QVariant>

class Task;

// The task queue of one device: runs its tasks one at a time in the order they came, forwards the
// progress of non-silent ones and hands every finished task's result on. A link abort closes it.
class TaskScheduler : public QObject
{
    Q_OBJECT
public:
    TaskScheduler(const QString &deviceName, QObject *parent = nullptr);
    ~TaskScheduler() override;

    // Takes ownership. A closed scheduler refuses the task and destroys it at once (nobody else
    // would), returning false.
    bool addTask(Task *task);
    void dispatch();
    void clear(bool cancelCurrent);
    // Removes a task that has not started yet and destroys it; false when it is not waiting here.
    bool discard(Task *task);

    bool isClosed() const { return m_closed; }
    QString deviceName() const { return m_deviceName; }
    int queuedCount() const { return m_queue.size(); }
    Task *current() const { return m_current; }

signals:
    void taskComplete(const TaskResult &result);
    void progress(const QString &text, int percent);
    void taskProgress(const QString &text, int percent, const QVariant &data);

protected slots:
    void OnTaskComplete();
    void OnTaskProgress(const QString &text, int percent);

private:
    void releaseCurrent();

    QList<Task *> m_queue;
    Task *m_current = nullptr;
    bool m_closed = false;
    QString m_deviceName;
};
