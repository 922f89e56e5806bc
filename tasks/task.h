#pragma once

#include "tasks/taskresult.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <QVariant>

// One operation on a device: queued, started once, finished exactly once with a result code and
// value. A watchdog ends it when nothing happens for its time-out.
class Task : public QObject
{
    Q_OBJECT
public:
    enum Status { Idle = 0, Running = 1, Finished = 2 };

    Task(const QString &name, QObject *parent, int timeoutMs);
    ~Task() override;

    virtual bool start() = 0;
    virtual void cancelTask(bool timedOut);

    void cancel();

    QString name() const { return m_name; }
    int status() const { return m_status; }
    int timeout() const { return m_timeoutMs; }
    int resultCode() const { return m_resultCode; }
    QVariant resultData() const { return m_resultData; }
    int dataId() const { return m_dataId; }
    QString resultMessage() const { return m_resultMessage; }
    bool isSilent() const { return m_silent != 0; }
    bool isWatchdogActive() const { return m_watchdog.isActive(); }
    int watchdogRemaining() const { return m_watchdog.remainingTime(); }
    TaskResult result() const { return TaskResult(*this); }

signals:
    void Progress(const QString &text, int percent);
    void Complete();

protected:
    // Moving to Finished stops the watchdog and emits Complete() once; a finished task never
    // finishes again, so a late cancel or watchdog cannot report it twice.
    void setStatus(int status);
    void setResultCode(int code);
    void setDataId(int id) { m_dataId = id; }
    void setSilent(bool silent) { m_silent = silent ? 1 : 0; }
    void setTimeout(int ms);
    void setResultData(const QVariant &value);
    void setResultMessage(const QString &message);
    void requestTimeout();
    void restartTimer();
    void cancelTimer();
    void reportProgress(const QString &text, int percent);

protected slots:
    void OnTimeout();

private:
    QString m_name;
    int m_status = Idle;
    int m_silent = 1;
    int m_timeoutMs;
    QVariant m_resultData;
    QString m_resultMessage;
    // Defined from the start so that a task finished without a reply never reports garbage.
    int m_resultCode = TaskResult::Error;
    int m_dataId = -1;
    QTimer m_watchdog;
};
