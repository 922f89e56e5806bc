#pragma once

#include <QDebug>
#include <QLoggingCategory>

namespace varno {

constexpr const char *baseName(const char *path)
{
    const char *name = path;
    for (const char *p = path; *p; ++p) {
        if (*p == '/' || *p == '\\')
            name = p + 1;
    }
    return name;
}

// One logging category per layer: "varno.link", "varno.device", "varno.tasks", "varno.history",
// "varno.update", "varno.ui", and "varno.tools" for varnoctl and the simulator. Debug lines are off
// unless QT_LOGGING_RULES or --verbose turns them on; warnings are on.
enum class LogLayer { Link, Device, Tasks, History, Update, Ui, Tools };

const QLoggingCategory &logCategory(LogLayer layer);

// The layer of a source file is the folder it lies in, so a file logs into its layer's category
// without naming it (history/ui/ and update/ui/ are the user interface).
constexpr bool folderIs(const char *begin, const char *end, const char *name)
{
    for (; begin != end && *name; ++begin, ++name) {
        if (*begin != *name)
            return false;
    }
    return begin == end && !*name;
}

constexpr LogLayer layerOf(const char *path)
{
    const char *folder = path;  // start of the innermost folder's name
    const char *end = nullptr;  // the separator after it
    for (const char *p = path; *p; ++p) {
        if (*p == '/' || *p == '\\') {
            if (end)
                folder = end + 1;
            end = p;
        }
    }
    if (!end)
        return LogLayer::Tools;
    const char *const names[] = { "link", "device", "tasks", "history", "update",
                                  "app",  "panels", "charts", "ui" };
    const LogLayer layers[] = { LogLayer::Link,   LogLayer::Device, LogLayer::Tasks,
                                LogLayer::History, LogLayer::Update, LogLayer::Ui,
                                LogLayer::Ui,     LogLayer::Ui,     LogLayer::Ui };
    for (int i = 0; i < 9; ++i) {
        if (folderIs(folder, end, names[i]))
            return layers[i];
    }
    return LogLayer::Tools;
}

template<LogLayer layer>
const QLoggingCategory &fileCategory()
{
    return logCategory(layer);
}

// Turns on the debug lines of every layer (the programs' --verbose).
void enableVerboseLog();

// Our lines name their file and line themselves: keeps Qt's handler from putting the category name
// in front of them. Other categories' lines pass unchanged.
void installLogFormat();

} // namespace varno

// Every log line reads "file.cpp:123> message", with automatic spaces off and strings quoted.
#define VLOG                                                                                    \
    qCDebug(varno::fileCategory<varno::layerOf(__FILE__)>).nospace()                           \
        << varno::baseName(__FILE__) << ':' << __LINE__ << "> "
#define VWARN                                                                                   \
    qCWarning(varno::fileCategory<varno::layerOf(__FILE__)>).nospace()                         \
        << varno::baseName(__FILE__) << ':' << __LINE__ << "> "
