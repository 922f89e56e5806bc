#pragma once

#include "device/environmentstate.h"
#include "device/sensoragreement.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QTimer>

class DeviceNotifier;
class Task;

// What "varnoctl watch" knows of the monitor it reads.
struct WatchedMonitor
{
    QString name; // the port
    QString serial;
    QString deviceId;
    QString displayName;
    QString firmware;
};

struct WatchReading
{
    QDateTime time; // UTC
    QString serial;
    EnvironmentState environment;
    bool sensorsDisagree = false;
};

// Reads one monitor's environment at a fixed interval for as long as it is plugged in, and waits
// for it (or, without a port, for any monitor) to come back when it goes. Knows nothing of the
// outputs: they follow the signals.
class Watcher : public QObject
{
    Q_OBJECT
public:
    static constexpr int kMinIntervalMs = 1000;
    // A monitor that has not told who it is by then (the identity read gives up after 2 s) is
    // closed and looked for again.
    static constexpr int kIdentifyTimeoutMs = 5000;
    // After a monitor went, the next look for one waits this long, so a port that opens but
    // dies at once is not hammered.
    static constexpr int kRescanDelayMs = 1000;

    struct Options
    {
        QString port; // empty: the only monitor present
        int intervalMs = kMinIntervalMs;
        qint64 count = 0; // readings, 0 = no limit
        qint64 durationMs = 0; // 0 = no limit
    };

    explicit Watcher(const Options &options, QObject *parent = nullptr);
    ~Watcher() override;

    // Finds the monitor; finished() may follow at once (several monitors and no port, bad port).
    void start();
    // Ends the watch cleanly: finished(0).
    void stop();

    qint64 readings() const { return m_readings; }
    qint64 missed() const { return m_missed; }
    qint64 disconnections() const { return m_disconnections; }
    qint64 elapsedMs() const { return m_clock.isValid() ? m_clock.elapsed() : 0; }

signals:
    void connected(const WatchedMonitor &monitor, const QDateTime &time);
    void disconnected(const WatchedMonitor &monitor, const QDateTime &time);
    void reading(const WatchReading &reading);
    // Nothing is found yet (start-up without a monitor): an information for the user.
    void waiting();
    void finished(int code, const QString &error);

private:
    void OnArrival(const QString &name);
    void OnRemoval(const QString &name);
    void OnIdentified(const QString &name);
    void OnGone(const QString &name);
    void OnTick();
    void OnReadComplete();
    void open(const QString &name);
    void rescan();
    void finish(int code, const QString &error = QString());
    void emitFinished();

    Options m_options;
    DeviceNotifier *m_notifier = nullptr;
    QString m_name; // the port opened, identified or not; empty while waiting
    // Ports whose monitor went away: a look round skips them until the notifier reports them anew,
    // since a killed simulator's link stays behind and may point at another one's pty.
    QSet<QString> m_gone;
    bool m_rescanning = false;
    bool m_retryingIdentity = false;
    bool m_identified = false;
    WatchedMonitor m_monitor;
    QTimer m_tick;
    QTimer m_identifyTimeout;
    QTimer m_duration;
    QPointer<Task> m_read;
    SensorAgreement m_agreement;
    QElapsedTimer m_clock;
    qint64 m_readings = 0;
    qint64 m_missed = 0;
    qint64 m_disconnections = 0;
    bool m_done = false;
    bool m_finished = false;
    int m_exitCode = 0;
    QString m_error;
};

// Writes the watch as JSON lines or CSV to stdout or appended to a file, one flushed line each.
class WatchLog : public QObject
{
    Q_OBJECT
public:
    enum Format { Jsonl, Csv };

    explicit WatchLog(Format format, QObject *parent = nullptr);
    // Empty path: stdout. False with error set when the file cannot be opened.
    bool open(const QString &path, QString *error);

    // The fields both the lines and the MQTT state messages carry; withSerial for the lines.
    static QByteArray readingJson(const WatchReading &reading, bool withSerial);
    static QByteArray csvHeader();

    void OnConnected(const WatchedMonitor &monitor, const QDateTime &time);
    void OnDisconnected(const WatchedMonitor &monitor, const QDateTime &time);
    void OnReading(const WatchReading &reading);

signals:
    void writeFailed(const QString &error);

private:
    void writeEvent(const QString &what, const QString &serial, const QDateTime &time);
    void write(const QByteArray &line);

    Format m_format;
    QFile m_file;
    bool m_failed = false;
};
