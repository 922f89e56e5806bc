#include "tools/varnoctl/stoprequest.h"

#include <QMetaObject>
#include <QObject>
#include <QPointer>

#include <windows.h>

namespace {

QPointer<QObject> stopContext;
std::function<void()> stopCall;

// The console runs this on a thread of its own; the stop is queued to the context's thread.
BOOL WINAPI onConsoleEvent(DWORD)
{
    QObject *context = stopContext.data();
    if (!context)
        return FALSE;
    QMetaObject::invokeMethod(context, [] { stopCall(); }, Qt::QueuedConnection);
    return TRUE;
}

} // namespace

void onStopRequest(QObject *context, std::function<void()> stop)
{
    stopContext = context;
    stopCall = std::move(stop);
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}
