#pragma once

#include "tasks/taskresult.h"

#include <QJsonObject>
#include <QObject>
#include <QStringList>
#include <QVariantHash>

#include <functional>

class Device;
class TaskScheduler;

// Exit codes of varnoctl.
enum CtlExit {
    ExitOk = 0,
    ExitRefused = 1, // the device refused the password
    ExitUsage = 2,
    ExitTimeout = 3,
    ExitLink = 4, // port cannot be opened, or the link aborted
    ExitFailed = 5, // malformed reply, missing file, local file error
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

    void dispatch();
    void command(int code, const QVariantHash &args, Next next);
    void OnTaskComplete(const TaskResult &result);
    void succeed(const QJsonObject &json, const QString &text);
    void fail(int code, const QString &message);
    bool needPassword();
    // Runs the list command and hands the descriptor named name (any case) on, or fails.
    void withFile(const QString &name, std::function<void(const QVariant &descriptor)> next);

    Options m_options;
    Device *m_device = nullptr;
    TaskScheduler *m_scheduler = nullptr;
    int m_expectedItem = -1;
    Next m_next;
    int m_exitCode = ExitOk;
    bool m_done = false;
};
