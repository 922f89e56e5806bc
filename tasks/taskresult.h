#pragma once

#include <QMetaType>
#include <QString>
#include <QVariant>

class Task;

// The outcome of a finished task as the device receives it: name, value, code and data item.
class TaskResult
{
public:
    enum Code { Successful = 0, Error = 1, Canceled = 2, TimedOut = 3, Aborted = 4, Continue = 5 };

    TaskResult() = default;
    TaskResult(const QString &name, const QVariant &data, int code, int dataId);
    explicit TaskResult(const Task &task);

    QString name() const { return m_name; }
    QVariant data() const { return m_data; }
    int code() const { return m_code; }
    int dataId() const { return m_dataId; }

private:
    QString m_name;
    QVariant m_data;
    int m_code = Error;
    int m_dataId = -1;
};

Q_DECLARE_METATYPE(TaskResult)
