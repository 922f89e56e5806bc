#include "tasks/taskresult.h"

#include "tasks/task.h"

namespace {
void registerTaskResult()
{
    qRegisterMetaType<TaskResult>("TaskResult");
}
} // namespace

Q_CONSTRUCTOR_FUNCTION(registerTaskResult)

TaskResult::TaskResult(const QString &name, const QVariant &data, int code, int dataId,
                       const QString &message)
    : m_name(name)
    , m_data(data)
    , m_code(code)
    , m_dataId(dataId)
    , m_message(message)
{
}

TaskResult::TaskResult(const Task &task)
    : TaskResult(task.name(), task.resultData(), task.resultCode(), task.dataId(),
                 task.resultMessage())
{
}
