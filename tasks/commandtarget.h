#pragma once

#include <QObject>
#include <QString>

class Communicator;
class TaskResult;

// What the tasks need of a device: a name for its queue, the link to send through and the place its
// results go. The Device facade implements it, so the tasks never depend on the facade itself.
class CommandTarget : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    virtual QString name() const = 0;
    // Null once the link is gone.
    virtual Communicator *communicator() const = 0;
    virtual void OnTaskComplete(const TaskResult &result) = 0;
};
