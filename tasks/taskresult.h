#pragma once

#include <QMetaType>
#include <QString>
#include <QVariant>

class Task;

// The outcome of a finished task as the device receives it: name, value, code and data item.
class TaskResult
{
public:
    // Refused: the command never reached the device because its arguments cannot be sent (a value
    // out of range, a password too long, a file the device cannot hold); message() says why.
    enum Code {
        Successful = 0,
        Error = 1,
        Canceled = 2,
        TimedOut = 3,
        Aborted = 4,
        Continue = 5,
        Refused = 6,
    };

    TaskResult() = default;
    TaskResult(const QString &name, const QVariant &data, int code, int dataId,
               const QString &message = QString());
    explicit TaskResult(const Task &task);

    QString name() const { return m_name; }
    QVariant data() const { return m_data; }
    int code() const { return m_code; }
    int dataId() const { return m_dataId; }
    // A translated sentence for the user when the task was refused, or failed here rather than on
    // the device (a file that could not be saved); empty otherwise.
    QString message() const { return m_message; }

private:
    QString m_name;
    QVariant m_data;
    int m_code = Error;
    int m_dataId = -1;
    QString m_message;
};

Q_DECLARE_METATYPE(TaskResult)
