#pragma once

#include <functional>

class QObject;

// Calls stop in context's thread, from its event loop, when the user asks the process to end
// (Ctrl+C, SIGTERM; on Windows the console's close and break events too). Once per process.
void onStopRequest(QObject *context, std::function<void()> stop);
