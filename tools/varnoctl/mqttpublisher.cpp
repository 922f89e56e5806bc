#include "tools/varnoctl/mqttpublisher.h"

#include "link/logging.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSocketNotifier>

#include <mosquitto.h>
#include <mqtt_protocol.h>

#include <algorithm>
#include <cerrno>

namespace {

const char kOnline[] = "online";
const char kOffline[] = "offline";
constexpr int kQos = 1;
constexpr int kCloseWaitMs = 1000;

} // namespace

MqttPublisher::MqttPublisher(const Settings &settings, QObject *parent)
    : QObject(parent)
    , m_settings(settings)
{
    m_misc.setInterval(1000);
    connect(&m_misc, &QTimer::timeout, this, [this] {
        if (m_client && m_fd >= 0) {
            mosquitto_loop_misc(m_client);
            sync();
        }
    });
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, &MqttPublisher::connectNow);
    m_connectTimeout.setSingleShot(true);
    m_connectTimeout.setInterval(kConnectTimeoutMs);
    connect(&m_connectTimeout, &QTimer::timeout, this, [this] {
        if (m_connecting && !m_connected)
            connectionLost(MOSQ_ERR_CONN_LOST);
    });
}

MqttPublisher::~MqttPublisher()
{
    close();
    delete m_readNotifier;
    delete m_writeNotifier;
    if (m_client) {
        mosquitto_destroy(m_client);
        mosquitto_lib_cleanup();
    }
}

bool MqttPublisher::configure(QString *error)
{
    mosquitto_lib_init();
    m_client = mosquitto_new(nullptr, true, this);
    if (!m_client) {
        mosquitto_lib_cleanup();
        *error = tr("cannot create an MQTT client");
        return false;
    }
    return setUp(error);
}

bool MqttPublisher::setUp(QString *error)
{
    mosquitto_connect_callback_set(m_client, &MqttPublisher::onConnect);
    mosquitto_disconnect_callback_set(m_client, &MqttPublisher::onDisconnect);
    mosquitto_publish_callback_set(m_client, &MqttPublisher::onPublish);
    int rc = MOSQ_ERR_SUCCESS;
    if (!m_settings.user.isEmpty())
        rc = mosquitto_username_pw_set(m_client, m_settings.user.toUtf8().constData(),
                                       m_settings.password.isNull() ? nullptr : m_settings.password.toUtf8().constData());
    if (rc == MOSQ_ERR_SUCCESS && m_settings.tls) {
        const QByteArray caFile = m_settings.caFile.toLocal8Bit();
        rc = mosquitto_tls_set(m_client, caFile.isEmpty() ? nullptr : caFile.constData(),
                               caFile.isEmpty() ? "/etc/ssl/certs" : nullptr, nullptr, nullptr, nullptr);
    }
    if (rc != MOSQ_ERR_SUCCESS) {
        *error = tr("MQTT: %1").arg(QString::fromLocal8Bit(mosquitto_strerror(rc)));
        return false;
    }
    return true;
}

void MqttPublisher::onConnect(mosquitto *, void *self, int rc)
{
    auto *publisher = static_cast<MqttPublisher *>(self);
    publisher->m_connecting = false;
    publisher->m_connectTimeout.stop();
    if (rc != CONNACK_ACCEPTED) {
        const QString text = QString::fromLocal8Bit(mosquitto_connack_string(rc));
        if (!publisher->m_everConnected
            && (rc == CONNACK_REFUSED_BAD_USERNAME_PASSWORD || rc == CONNACK_REFUSED_NOT_AUTHORIZED)) {
            publisher->m_closing = true;
            emit publisher->refused(kExitLoginRefused, tr("the MQTT broker refused the login: %1").arg(text));
            return;
        }
        VLOG << "MQTT broker refused the connection: " << text;
        return; // the broker closes; onDisconnect retries
    }
    VLOG << "MQTT broker connected";
    publisher->m_connected = true;
    publisher->m_everConnected = true;
    publisher->m_retryMs = kFirstRetryMs;
    publisher->announce();
    // libmosquitto sends what it still holds of the last connection once this returns; the readings
    // that waited with us follow them.
    QMetaObject::invokeMethod(publisher, [publisher] { publisher->sendQueued(); }, Qt::QueuedConnection);
    emit publisher->brokerConnected();
}

void MqttPublisher::onDisconnect(mosquitto *, void *self, int rc)
{
    auto *publisher = static_cast<MqttPublisher *>(self);
    // 0: our own disconnect, which needs no retry.
    if (rc != 0 && !publisher->m_closing)
        QMetaObject::invokeMethod(publisher, [publisher, rc] { publisher->connectionLost(rc); }, Qt::QueuedConnection);
}

void MqttPublisher::onPublish(mosquitto *, void *self, int mid)
{
    static_cast<MqttPublisher *>(self)->acknowledged(mid);
}

void MqttPublisher::OnConnected(const WatchedMonitor &monitor)
{
    const bool otherMonitor = monitor.serial != m_willSerial;
    if (otherMonitor && m_connected && !m_willSerial.isEmpty())
        publish(baseTopic() + QStringLiteral("/availability"), kOffline, true);
    m_monitor = monitor;
    m_monitorPresent = true;
    if (!m_client || m_closing)
        return;
    if (otherMonitor || (!m_connected && !m_connecting && !m_retry.isActive())) {
        // The last will names one monitor: another one needs a connection of its own.
        if (m_connected) {
            m_closing = true;
            mosquitto_disconnect(m_client);
            m_closing = false;
        }
        m_retry.stop();
        connectNow();
    } else if (m_connected) {
        announce();
    }
}

void MqttPublisher::OnDisconnected()
{
    m_monitorPresent = false;
    if (m_connected)
        publish(baseTopic() + QStringLiteral("/availability"), kOffline, true);
}

void MqttPublisher::OnReading(const WatchReading &reading)
{
    ++m_taken;
    if (qint64(m_queue.size()) - m_sent >= std::max<qint64>(m_settings.queueLimit, 1)) {
        const Pending &oldest = m_queue.at(std::size_t(m_sent));
        ++m_dropped;
        // Once per doubling: a long outage leaves a few lines, not one per reading.
        if ((m_dropped & (m_dropped - 1)) == 0)
            emit warning(tr("the MQTT queue is full (%1 readings): dropped the reading of %2, %3 dropped so far")
                             .arg(m_settings.queueLimit)
                             .arg(oldest.time.toUTC().toString(Qt::ISODate))
                             .arg(m_dropped));
        m_queue.erase(m_queue.begin() + std::ptrdiff_t(m_sent));
    }
    Pending pending;
    pending.topic = m_settings.topicPrefix + QLatin1Char('/') + topicLevel(reading.serial) + QStringLiteral("/state");
    pending.payload = WatchLog::readingJson(reading, false);
    pending.time = reading.time;
    m_queue.push_back(pending);
    sendQueued();
}

void MqttPublisher::sendQueued()
{
    while (m_client && m_connected && !m_closing && m_inFlight < kInFlight && m_sent < qint64(m_queue.size())) {
        Pending &pending = m_queue.at(std::size_t(m_sent));
        const QByteArray name = pending.topic.toUtf8();
        int mid = 0;
        const int rc = mosquitto_publish(m_client, &mid, name.constData(), pending.payload.size(),
                                         pending.payload.constData(), kQos, false);
        // Without a connection libmosquitto keeps the message and sends it after the reconnect.
        if (rc != MOSQ_ERR_SUCCESS && rc != MOSQ_ERR_NO_CONN) {
            VLOG << "MQTT publish on " << pending.topic << " failed: " << mosquitto_strerror(rc);
            break;
        }
        pending.mid = mid;
        pending.sent = true;
        ++m_sent;
        ++m_inFlight;
    }
    sync();
}

void MqttPublisher::acknowledged(int mid)
{
    // Availability and discovery messages are acknowledged too; they are not in the queue.
    const auto end = m_queue.begin() + std::ptrdiff_t(m_sent);
    const auto found = std::find_if(m_queue.begin(), end, [mid](const Pending &p) { return !p.acked && p.mid == mid; });
    if (found == end)
        return;
    found->acked = true;
    --m_inFlight;
    ++m_delivered;
    while (!m_queue.empty() && m_queue.front().acked) {
        m_queue.pop_front();
        --m_sent;
    }
    emit readingDelivered(m_delivered);
    sendQueued();
}

void MqttPublisher::connectNow()
{
    if (!m_client || m_closing || !m_monitorPresent)
        return;
    if (m_lost) {
        // What went out on a lost connection and was not acknowledged goes again from our queue, in
        // order; a fresh client holds nothing of its own that it would resend besides.
        m_lost = false;
        QString error;
        if (mosquitto_reinitialise(m_client, nullptr, true, this) != MOSQ_ERR_SUCCESS || !setUp(&error)) {
            VLOG << "MQTT client cannot be set up again: " << error;
            scheduleRetry();
            return;
        }
        for (auto it = m_queue.begin(); it != m_queue.end();) {
            if (it->acked) {
                it = m_queue.erase(it);
                continue;
            }
            it->sent = false;
            ++it;
        }
        m_sent = 0;
        m_inFlight = 0;
    }
    m_willSerial = m_monitor.serial;
    const QByteArray willTopic = (baseTopic() + QStringLiteral("/availability")).toUtf8();
    mosquitto_will_set(m_client, willTopic.constData(), int(qstrlen(kOffline)), kOffline, kQos, true);
    delete m_readNotifier;
    delete m_writeNotifier;
    m_readNotifier = nullptr;
    m_writeNotifier = nullptr;
    m_fd = -1;
    m_connected = false;
    m_connecting = true;
    const int rc = mosquitto_connect_async(m_client, m_settings.host.toUtf8().constData(), m_settings.port,
                                           kKeepAliveSeconds);
    if (rc != MOSQ_ERR_SUCCESS) {
        connectionLost(rc);
        return;
    }
    m_connectTimeout.start();
    m_misc.start();
    sync();
}

void MqttPublisher::connectionLost(int rc)
{
    if (m_closing)
        return;
    const bool wasConnected = m_connected;
    m_connected = false;
    m_connecting = false;
    m_lost = true;
    m_connectTimeout.stop();
    if (!m_everConnected && isTlsError(rc)) {
        m_closing = true;
        emit refused(kExitTlsFailed, tr("TLS with the MQTT broker failed: %1")
                                         .arg(QString::fromLocal8Bit(mosquitto_strerror(rc))));
        return;
    }
    if (wasConnected || m_retryMs == kFirstRetryMs)
        VLOG << "MQTT broker lost: " << mosquitto_strerror(rc);
    if (m_fd >= 0) {
        // Leave the socket to libmosquitto, which closes it on the next connect.
        if (m_readNotifier)
            m_readNotifier->setEnabled(false);
        if (m_writeNotifier)
            m_writeNotifier->setEnabled(false);
    }
    scheduleRetry();
}

bool MqttPublisher::isTlsError(int rc) const
{
    return m_settings.tls
        && (rc == MOSQ_ERR_TLS || rc == MOSQ_ERR_TLS_HANDSHAKE || (rc == MOSQ_ERR_ERRNO && errno == EPROTO));
}

void MqttPublisher::scheduleRetry()
{
    if (m_retry.isActive() || m_closing)
        return;
    m_retry.start(m_retryMs);
    m_retryMs = std::min(m_retryMs * 2, kLastRetryMs);
}

void MqttPublisher::sync()
{
    if (!m_client)
        return;
    const int fd = mosquitto_socket(m_client);
    if (fd != m_fd) {
        // A notifier of a closed descriptor must not fire on the next one that gets its number.
        for (QSocketNotifier *notifier : { m_readNotifier, m_writeNotifier }) {
            if (notifier) {
                notifier->setEnabled(false);
                notifier->deleteLater();
            }
        }
        m_readNotifier = nullptr;
        m_writeNotifier = nullptr;
        m_fd = fd;
        if (fd >= 0) {
            m_readNotifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
            connect(m_readNotifier, &QSocketNotifier::activated, this, &MqttPublisher::OnReadable);
            m_writeNotifier = new QSocketNotifier(fd, QSocketNotifier::Write, this);
            connect(m_writeNotifier, &QSocketNotifier::activated, this, &MqttPublisher::OnWritable);
        }
    }
    if (m_writeNotifier)
        m_writeNotifier->setEnabled(mosquitto_want_write(m_client));
}

void MqttPublisher::OnReadable()
{
    afterLoop(mosquitto_loop_read(m_client, 1));
}

void MqttPublisher::OnWritable()
{
    afterLoop(mosquitto_loop_write(m_client, 1));
}

void MqttPublisher::afterLoop(int rc)
{
    // sync() may touch errno; connectionLost() reports the one the loop left.
    const int error = errno;
    sync();
    if (rc != MOSQ_ERR_SUCCESS) {
        errno = error;
        connectionLost(rc);
    }
}

void MqttPublisher::publish(const QString &topic, const QByteArray &payload, bool retain)
{
    const QByteArray name = topic.toUtf8();
    const int rc = mosquitto_publish(m_client, nullptr, name.constData(), payload.size(), payload.constData(), kQos, retain);
    if (rc != MOSQ_ERR_SUCCESS)
        VLOG << "MQTT publish on " << topic << " failed: " << mosquitto_strerror(rc);
    sync();
}

QString MqttPublisher::baseTopic() const
{
    return m_settings.topicPrefix + QLatin1Char('/') + topicLevel(m_monitor.serial);
}

QByteArray MqttPublisher::discoveryConfig(const QString &field, const QString &name, const QString &unit,
                                          const QString &stateClass) const
{
    const QString id = QStringLiteral("varno_%1_%2").arg(topicLevel(m_monitor.serial), field);
    const QJsonObject device { { QStringLiteral("identifiers"), QJsonArray { m_monitor.serial } },
                               { QStringLiteral("name"), QStringLiteral("%1 %2").arg(m_monitor.displayName, m_monitor.serial) },
                               { QStringLiteral("model"), m_monitor.deviceId },
                               { QStringLiteral("sw_version"), m_monitor.firmware },
                               { QStringLiteral("manufacturer"), QStringLiteral("VARNO") } };
    const QJsonObject config { { QStringLiteral("name"), name },
                               { QStringLiteral("unique_id"), id },
                               { QStringLiteral("object_id"), id },
                               { QStringLiteral("state_topic"), baseTopic() + QStringLiteral("/state") },
                               { QStringLiteral("value_template"), QStringLiteral("{{ value_json.%1 }}").arg(field) },
                               { QStringLiteral("availability_topic"), baseTopic() + QStringLiteral("/availability") },
                               { QStringLiteral("unit_of_measurement"), unit },
                               { QStringLiteral("state_class"), stateClass },
                               { QStringLiteral("device"), device } };
    return QJsonDocument(config).toJson(QJsonDocument::Compact);
}

void MqttPublisher::announce()
{
    if (!m_connected || !m_monitorPresent)
        return;
    if (m_settings.discovery) {
        struct Field
        {
            const char *field;
            const char *name;
            bool dose;
        };
        static const Field fields[] = { { "left", "Left sensor", false },
                                        { "right", "Right sensor", false },
                                        { "average", "Average", false },
                                        { "dose", "Aggregated dose", true } };
        for (const Field &f : fields) {
            const QString field = QLatin1String(f.field);
            publish(QStringLiteral("%1/sensor/varno_%2_%3/config")
                        .arg(m_settings.discoveryPrefix, topicLevel(m_monitor.serial), field),
                    discoveryConfig(field, QLatin1String(f.name), f.dose ? m_settings.doseUnit : m_settings.rateUnit,
                                    f.dose ? QStringLiteral("total") : QStringLiteral("measurement")),
                    true);
        }
    }
    publish(baseTopic() + QStringLiteral("/availability"), kOnline, true);
}

void MqttPublisher::close()
{
    if (!m_client || m_closing)
        return;
    m_retry.stop();
    m_connectTimeout.stop();
    m_misc.stop();
    if (m_connected) {
        // Readings still on their way get a moment to be acknowledged.
        QElapsedTimer flushing;
        flushing.start();
        sendQueued();
        while (m_connected && !m_queue.empty() && flushing.elapsed() < kCloseWaitMs) {
            if (mosquitto_loop(m_client, 100, 1) != MOSQ_ERR_SUCCESS)
                break;
            sendQueued();
        }
        if (m_monitorPresent)
            publish(baseTopic() + QStringLiteral("/availability"), kOffline, true);
        m_closing = true;
        mosquitto_disconnect(m_client);
        // What is still queued (the "offline" above) goes out now or not at all: a bounded wait.
        QElapsedTimer waited;
        waited.start();
        while (mosquitto_want_write(m_client) && waited.elapsed() < kCloseWaitMs
               && mosquitto_loop_write(m_client, 1) == MOSQ_ERR_SUCCESS) {
        }
    }
    m_closing = true;
    m_connected = false;
}
