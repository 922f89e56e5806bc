#pragma once

#include "tasks/taskresult.h"

#include <QJsonObject>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <QVariantHash>

#include <cstdio>
#include <functional>
#include <initializer_list>
#include <utility>

class CommandHandle;
class Device;
class HistoryDownload;

// Exit codes of varnoctl.
enum CtlExit {
    ExitOk = 0,
    ExitRefused = 1, // the device refused the password
    ExitUsage = 2,
    ExitTimeout = 3,
    ExitLink = 4, // port cannot be opened, or the link aborted
    ExitFailed = 5, // malformed reply, missing file, local file error
    ExitArgument = 6, // refused before it reached the device: a value out of range, a file too big
};

// Runs one subcommand of varnoctl over a Device: queues its commands through executeCommand, waits
// for their results and prints them as text or JSON.
class Ctl : public QObject
{
    Q_OBJECT
public:
    struct Options
    {
        QString port;
        QString password;
        bool json = false;
        bool attributesSet = false;
        uint attributes = 0;
        QStringList arguments; // the subcommand and its arguments
        // "history" only: output file, time range, value comparison, no question before removal.
        QString out;
        QString from;
        QString to;
        QString where;
        bool yes = false;
        // The longest wait for a result, or for the next progress of a transfer.
        int timeoutSeconds = 60;
        // "firmware": the update server instead of the configured one.
        QString server;
        // "journal": only the changes to this monitor.
        QString serial;
        // "history pull": remove the statistics from the monitor once the download is verified.
        bool erase = false;
    };

    explicit Ctl(const Options &options, QObject *parent = nullptr);
    ~Ctl() override;

    // Starts the subcommand; finished(code) follows once it is done (possibly at once).
    void start();
    int exitCode() const { return m_exitCode; }

signals:
    void finished(int code);

private:
    using Next = std::function<void(const TaskResult &)>;

    static QStringList monitorsPresent();
    void dispatch();
    // Follows a command (from Device::executeCommand) until its result: a success goes on to
    // next, anything else ends the run with its exit code.
    void await(CommandHandle *handle, Next next);
    // Command arguments under the tasks' own keys, e.g. { { FileRemoveTask::kFileDescriptorKey, file } }.
    static QVariantHash arguments(std::initializer_list<std::pair<const char *, QVariant>> pairs);
    void OnCommandFinished(const TaskResult &result, const Next &next);
    // Progress of the step under way: shown on stderr, and the time limit starts again.
    void showProgress(const QString &text, int percent);
    void OnDeadline();
    // Asks on the terminal; the time limit does not run while the user thinks.
    bool confirm(const QString &question);
    // "firmware check|upload": the firmware dialog's stages without a screen.
    void firmware();
    static int exitCodeFor(int taskCode);
    void succeed(const QJsonObject &json, const QString &text);
    static void print(const QString &text, FILE *stream);
    void fail(int code, const QString &message);
    bool needPassword();
    // "history pull|convert|export|rm": the History page's chain without a screen.
    void history();
    bool isLocalHistoryCommand() const;
    void historyPull();
    // A download that succeeded: reported, and with --erase the statistics removed when verified.
    void pulled(const HistoryDownload *download);
    void historyRemove();
    // "journal": the change journal, of one serial number with --serial.
    bool isJournalCommand() const;
    void journal();
    // Reads the identity and, when oldValueItem is not -1, that data item before a change, so the
    // journal names the monitor and the old value.
    void beforeChange(int oldValueItem, std::function<void()> next);
    // Runs the list command and hands the descriptor named name (any case) on, or fails.
    void withFile(const QString &name, std::function<void(const QVariant &descriptor)> next);

    Options m_options;
    Device *m_device = nullptr;
    int m_exitCode = ExitOk;
    bool m_done = false;
    QTimer m_deadline;
    // Stops the step under way when the time is up.
    std::function<void()> m_cancel;
    // Progress goes to stderr for the firmware upload, and for anything when stderr is a terminal.
    bool m_showProgress = false;
    QString m_lastProgressText;
    int m_lastProgressPercent = -2;
};
