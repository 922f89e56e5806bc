#pragma once

#include "history/historydownload.h"
#include "tasks/taskresult.h"

#include <QObject>
#include <QPointer>
#include <QString>

class CommandHandle;
class Device;

// Removes the monitor's statistics, but only behind a verified download of those very files: the
// download must have passed its checks, the monitor must be the one it came from, and the files
// the monitor lists now must be the ones it saved (same size and handle; a monitor that recorded
// more since has readings no history holds yet). Otherwise nothing is sent and reason() says why.
// As ever, only the time index is removed: without it the values cannot be read.
class HistoryErase : public QObject
{
    Q_OBJECT
public:
    HistoryErase(Device *device, const HistoryDownload::Verification &download, QObject *parent = nullptr);
    ~HistoryErase() override;

    // Starts; finished() follows from the event loop, never from inside this call.
    void start();

    bool removed() const { return m_removed; }
    QString reason() const { return m_reason; }
    // The file command's result code when one failed, else -1.
    int failedCode() const { return m_failedCode; }

signals:
    void finished(bool removed);

private:
    void OnListed(const TaskResult &result);
    void OnRemoved(const TaskResult &result);
    void finish(bool removed, const QString &reason);

    QPointer<Device> m_device;
    QPointer<CommandHandle> m_handle;
    HistoryDownload::Verification m_download;
    bool m_removed = false;
    bool m_done = false;
    QString m_reason;
    int m_failedCode = -1;
};
