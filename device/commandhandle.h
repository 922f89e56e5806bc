#pragma once

#include "tasks/taskresult.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <utility>

class DeviceTask;

// One command given to a device, as its caller follows it: progress while it runs and exactly one
// finished() with its result. The task is queued from the event loop, never from inside the call
// that made the handle, so whoever got the handle has connected before anything can finish. A
// command refused before it reached the device finishes the same way, with code Refused.
// The handle deletes itself once finished() has been delivered.
class CommandHandle : public QObject
{
    Q_OBJECT
public:
    // Takes the task over; it goes to the device's queue once control is back in the event loop.
    explicit CommandHandle(DeviceTask *task, QObject *parent = nullptr);
    ~CommandHandle() override;

    int command() const { return m_command; }
    QString name() const { return m_name; }
    bool isFinished() const { return m_finished; }
    // The outcome; meaningful once finished() was emitted.
    TaskResult result() const { return m_result; }

    // Cancels the command, queued or running; it finishes with code Canceled.
    void cancel();

signals:
    void progress(const QString &text, int percent);
    void finished(const TaskResult &result);

private:
    void enqueue();
    void OnTaskComplete();
    void OnTaskGone();
    void finish(const TaskResult &result);

    QPointer<DeviceTask> m_task;
    int m_command = -1;
    QString m_name;
    bool m_queued = false;
    bool m_finished = false;
    TaskResult m_result;
};

// The one way to follow a command that Device::executeCommand() gave: its one result goes to
// onDone and its progress, when asked for, to onProgress, through connections that end with
// context. Gives the handle back; null, with nothing connected, when there is no command to follow
// (no device, or one whose queue a broken link closed), which the caller reports in its own terms.
template <typename Context, typename Done>
CommandHandle *follow(CommandHandle *handle, Context *context, Done onDone)
{
    if (handle)
        QObject::connect(handle, &CommandHandle::finished, context, std::move(onDone));
    return handle;
}

template <typename Context, typename Done, typename Progress>
CommandHandle *follow(CommandHandle *handle, Context *context, Done onDone, Progress onProgress)
{
    if (handle)
        QObject::connect(handle, &CommandHandle::progress, context, std::move(onProgress));
    return follow(handle, context, std::move(onDone));
}
