#pragma once

#include "tools/varnoctl/watcher.h"

#include <QObject>
#include <QTimer>

#include <deque>

class QSocketNotifier;
struct mosquitto;

// Sends the watch to an MQTT broker through libmosquitto, driven by this thread's event loop:
// state messages, retained availability with the broker holding "offline" as the last will, and
// Home Assistant discovery. A broker that is down or goes away is retried with back-off and never
// holds up the readings: they wait in a bounded queue and go out in order, each with the time it
// was taken, once the broker is back. A reading counts as delivered when the broker acknowledged it.
class MqttPublisher : public QObject
{
    Q_OBJECT
public:
    // Exit codes of their own, for a broker that will never take us as configured.
    static constexpr int kExitLoginRefused = 7;
    static constexpr int kExitTlsFailed = 8;

    static constexpr int kFirstRetryMs = 1000;
    static constexpr int kLastRetryMs = 60000;
    // A connection that is neither made nor refused by then is given up and tried again.
    static constexpr int kConnectTimeoutMs = 10000;
    static constexpr int kKeepAliveSeconds = 30;
    // Readings handed to libmosquitto and not yet acknowledged, at most; the rest wait with us.
    static constexpr int kInFlight = 10;
    // The queue holds a day of readings at the watch's interval unless told otherwise.
    static constexpr qint64 kQueueSpanMs = 24 * 3600 * 1000LL;

    struct Settings
    {
        QString host;
        int port = 1883;
        bool tls = false;
        QString caFile;
        QString user;
        QString password;
        QString topicPrefix = QStringLiteral("varno");
        bool discovery = true;
        QString discoveryPrefix = QStringLiteral("homeassistant");
        QString rateUnit = QStringLiteral("µSv/h");
        QString doseUnit = QStringLiteral("µSv");
        // Readings that wait for the broker, besides those in flight; the oldest goes first.
        qint64 queueLimit = kQueueSpanMs / 1000;
    };

    // mqtt://host[:port] or mqtts://host[:port] into settings; false with error for anything else.
    static bool parseUrl(const QString &url, Settings *settings, QString *error);
    // What a topic level and a discovery object id may hold of a serial number.
    static QString topicLevel(const QString &serial);

    explicit MqttPublisher(const Settings &settings, QObject *parent = nullptr);
    ~MqttPublisher() override;

    // Sets the client up; false with error when libmosquitto will not (a CA file it cannot load).
    bool configure(QString *error);
    bool isConnected() const { return m_connected; }

    void OnConnected(const WatchedMonitor &monitor);
    void OnDisconnected();
    void OnReading(const WatchReading &reading);
    // Says "offline" for the monitor and leaves the broker, waiting at most a moment.
    void close();

    qint64 taken() const { return m_taken; }
    qint64 delivered() const { return m_delivered; }
    qint64 dropped() const { return m_dropped; }
    qint64 undelivered() const { return qint64(m_queue.size()); }

signals:
    // The broker refused us before we were ever in: wrong login, or TLS that cannot work.
    void refused(int exitCode, const QString &error);
    void brokerConnected();
    // The broker acknowledged a reading; count is all it acknowledged so far.
    void readingDelivered(qint64 count);
    // A full queue dropped its oldest reading.
    void warning(const QString &message);

private:
    static void onConnect(mosquitto *client, void *self, int rc);
    static void onDisconnect(mosquitto *client, void *self, int rc);
    static void onPublish(mosquitto *client, void *self, int mid);

    bool setUp(QString *error);
    void connectNow();
    void connectionLost(int rc);
    void scheduleRetry();
    void sync();
    void OnReadable();
    void OnWritable();
    void afterLoop(int rc);
    void publish(const QString &topic, const QByteArray &payload, bool retain);
    void sendQueued();
    void acknowledged(int mid);
    void announce();
    QString baseTopic() const;
    QByteArray discoveryConfig(const QString &field, const QString &name, const QString &unit,
                               const QString &stateClass) const;
    bool isTlsError(int rc) const;

    Settings m_settings;
    mosquitto *m_client = nullptr;
    int m_fd = -1;
    QSocketNotifier *m_readNotifier = nullptr;
    QSocketNotifier *m_writeNotifier = nullptr;
    QTimer m_misc;
    QTimer m_retry;
    QTimer m_connectTimeout;
    int m_retryMs = kFirstRetryMs;
    bool m_connecting = false;
    bool m_connected = false;
    bool m_everConnected = false;
    bool m_closing = false;
    bool m_lost = false; // the last connection failed: the next one starts with a fresh client
    bool m_monitorPresent = false;
    WatchedMonitor m_monitor;
    QString m_willSerial; // the monitor the broker's last will speaks for

    struct Pending
    {
        QString topic;
        QByteArray payload;
        QDateTime time;
        int mid = 0;
        bool sent = false; // handed to libmosquitto, which resends it after a reconnect
        bool acked = false;
    };
    // Oldest first; the sent ones are a prefix of it.
    std::deque<Pending> m_queue;
    qint64 m_sent = 0;
    qint64 m_inFlight = 0;
    qint64 m_taken = 0;
    qint64 m_delivered = 0;
    qint64 m_dropped = 0;
};
