#pragma once

#include "tools/varnoctl/watcher.h"

#include <QObject>
#include <QTimer>

class QSocketNotifier;
struct mosquitto;

// Sends the watch to an MQTT broker through libmosquitto, driven by this thread's event loop:
// state messages, retained availability with the broker holding "offline" as the last will, and
// Home Assistant discovery. A broker that is down or goes away is retried with back-off and never
// holds up the readings.
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

signals:
    // The broker refused us before we were ever in: wrong login, or TLS that cannot work.
    void refused(int exitCode, const QString &error);
    void brokerConnected();

private:
    static void onConnect(mosquitto *client, void *self, int rc);
    static void onDisconnect(mosquitto *client, void *self, int rc);

    void connectNow();
    void connectionLost(int rc);
    void scheduleRetry();
    void sync();
    void OnReadable();
    void OnWritable();
    void afterLoop(int rc);
    void publish(const QString &topic, const QByteArray &payload, bool retain);
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
    bool m_monitorPresent = false;
    WatchedMonitor m_monitor;
    QString m_willSerial; // the monitor the broker's last will speaks for
};
