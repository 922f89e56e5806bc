#include "link/logging.h"

#include <cstring>

namespace varno {

namespace {
Q_LOGGING_CATEGORY(lcLink, "varno.link", QtWarningMsg)
Q_LOGGING_CATEGORY(lcDevice, "varno.device", QtWarningMsg)
Q_LOGGING_CATEGORY(lcTasks, "varno.tasks", QtWarningMsg)
Q_LOGGING_CATEGORY(lcHistory, "varno.history", QtWarningMsg)
Q_LOGGING_CATEGORY(lcUpdate, "varno.update", QtWarningMsg)
Q_LOGGING_CATEGORY(lcUi, "varno.ui", QtWarningMsg)
Q_LOGGING_CATEGORY(lcTools, "varno.tools", QtWarningMsg)
QtMessageHandler previousHandler = nullptr;

void writeWithoutOurCategory(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (context.category && std::strncmp(context.category, "varno.", 6) == 0) {
        const QMessageLogContext plain(context.file, context.line, context.function, "default");
        previousHandler(type, plain, message);
        return;
    }
    previousHandler(type, context, message);
}
} // namespace

const QLoggingCategory &logCategory(LogLayer layer)
{
    switch (layer) {
    case LogLayer::Link:
        return lcLink();
    case LogLayer::Device:
        return lcDevice();
    case LogLayer::Tasks:
        return lcTasks();
    case LogLayer::History:
        return lcHistory();
    case LogLayer::Update:
        return lcUpdate();
    case LogLayer::Ui:
        return lcUi();
    case LogLayer::Tools:
        break;
    }
    return lcTools();
}

void installLogFormat()
{
    if (!previousHandler)
        previousHandler = qInstallMessageHandler(writeWithoutOurCategory);
}

void enableVerboseLog()
{
    QLoggingCategory::setFilterRules(QStringLiteral("varno.*.debug=true"));
}

} // namespace varno
