#include "tools/varnoctl/varnoctlwatch.h"

#include "tools/varnoctl/mqttpublisher.h"
#include "tools/varnoctl/stoprequest.h"
#include "tools/varnoctl/watcher.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QTimer>

#include <cmath>
#include <cstdio>

namespace {

constexpr int kExitUsage = 2;
constexpr int kExitFailed = 5;

void printError(const QString &message)
{
    std::fprintf(stderr, "varnoctl: error: %s\n", message.toLocal8Bit().constData());
    std::fflush(stderr);
}

bool seconds(const QCommandLineParser &parser, const char *name, double minimum, qint64 *ms)
{
    if (!parser.isSet(QLatin1String(name)))
        return true;
    bool ok = false;
    const double value = parser.value(QLatin1String(name)).toDouble(&ok);
    if (!ok || !std::isfinite(value) || value < minimum || value > 1e9) {
        printError(QCoreApplication::translate("varnoctl", "--%1 takes a number of seconds, at least %2")
                       .arg(QLatin1String(name)).arg(minimum));
        return false;
    }
    *ms = qint64(value * 1000.0);
    return true;
}

} // namespace

void addWatchOptions(QCommandLineParser &parser)
{
    const auto option = [&parser](const char *name, const char *description, const char *value = nullptr) {
        parser.addOption(QCommandLineOption(QLatin1String(name), QString::fromUtf8(description),
                                            value ? QLatin1String(value) : QString()));
    };
    option("interval", "watch: seconds between readings (default 1, at least 1).", "seconds");
    option("format", "watch: jsonl (default) or csv.", "format");
    option("count", "watch: stop after this many readings (with --mqtt: acknowledged by the broker).", "n");
    option("duration", "watch: stop after this many seconds.", "seconds");
    option("mqtt", "watch: also publish to this broker, mqtt://host[:port] or mqtts://host[:port].", "url");
    option("mqtt-topic", "watch: topic prefix (default varno).", "prefix");
    option("mqtt-user", "watch: broker login; the password comes from VARNO_MQTT_PASSWORD.", "name");
    option("mqtt-ca", "watch: CA certificate of an mqtts:// broker.", "file");
    option("mqtt-queue", "watch: readings kept while the broker is away (default: a day's worth).", "n");
    option("no-discovery", "watch: publish no Home Assistant discovery.");
    option("discovery-prefix", "watch: discovery topic prefix (default homeassistant).", "prefix");
    option("rate-unit", "watch: unit of the sensor readings for Home Assistant (default µSv/h).", "unit");
    option("dose-unit", "watch: unit of the dose for Home Assistant (default µSv).", "unit");
}

int runWatch(QCoreApplication &app, const QCommandLineParser &parser)
{
    const auto tr = [](const char *text) { return QCoreApplication::translate("varnoctl", text); };
    if (parser.positionalArguments().size() != 1) {
        printError(tr("usage: varnoctl [--port P] watch [--interval S] [--format csv|jsonl] [--out FILE] "
                      "[--count N] [--duration S] [--mqtt URL]"));
        return kExitUsage;
    }
    Watcher::Options options;
    options.port = parser.value(QStringLiteral("port"));
    qint64 intervalMs = Watcher::kMinIntervalMs;
    if (!seconds(parser, "interval", 1, &intervalMs) || !seconds(parser, "duration", 0.001, &options.durationMs))
        return kExitUsage;
    options.intervalMs = int(std::min<qint64>(intervalMs, std::numeric_limits<int>::max()));
    if (parser.isSet(QStringLiteral("count"))) {
        bool ok = false;
        options.count = parser.value(QStringLiteral("count")).toLongLong(&ok);
        if (!ok || options.count < 1) {
            printError(tr("--count takes a number of readings, at least 1"));
            return kExitUsage;
        }
    }
    const QString format = parser.value(QStringLiteral("format"));
    if (!format.isEmpty() && format != QLatin1String("jsonl") && format != QLatin1String("csv")) {
        printError(tr("--format takes csv or jsonl"));
        return kExitUsage;
    }

    const QString out = parser.value(QStringLiteral("out"));
    const bool mqtt = parser.isSet(QStringLiteral("mqtt"));
    MqttPublisher::Settings settings;
    if (mqtt) {
        QString error;
        if (!MqttPublisher::parseUrl(parser.value(QStringLiteral("mqtt")), &settings, &error)) {
            printError(error);
            return kExitUsage;
        }
        const auto setIf = [&parser](const char *name, QString *value) {
            if (parser.isSet(QLatin1String(name)))
                *value = parser.value(QLatin1String(name));
        };
        setIf("mqtt-topic", &settings.topicPrefix);
        setIf("mqtt-user", &settings.user);
        setIf("mqtt-ca", &settings.caFile);
        setIf("discovery-prefix", &settings.discoveryPrefix);
        setIf("rate-unit", &settings.rateUnit);
        setIf("dose-unit", &settings.doseUnit);
        settings.discovery = !parser.isSet(QStringLiteral("no-discovery"));
        if (qEnvironmentVariableIsSet("VARNO_MQTT_PASSWORD"))
            settings.password = qEnvironmentVariable("VARNO_MQTT_PASSWORD");
        if (settings.topicPrefix.isEmpty() || settings.topicPrefix.contains(QLatin1Char('+'))
            || settings.topicPrefix.contains(QLatin1Char('#')) || settings.discoveryPrefix.isEmpty()
            || settings.discoveryPrefix.contains(QLatin1Char('+')) || settings.discoveryPrefix.contains(QLatin1Char('#'))) {
            printError(tr("MQTT topic prefixes may not be empty nor hold '+' or '#'"));
            return kExitUsage;
        }
        settings.queueLimit = std::max<qint64>(1, (MqttPublisher::kQueueSpanMs + options.intervalMs - 1) / options.intervalMs);
        if (parser.isSet(QStringLiteral("mqtt-queue"))) {
            bool ok = false;
            settings.queueLimit = parser.value(QStringLiteral("mqtt-queue")).toLongLong(&ok);
            if (!ok || settings.queueLimit < 1) {
                printError(tr("--mqtt-queue takes a number of readings, at least 1"));
                return kExitUsage;
            }
        }
        if (!settings.caFile.isEmpty() && !settings.tls) {
            printError(tr("--mqtt-ca needs an mqtts:// broker"));
            return kExitUsage;
        }
        if (!settings.caFile.isEmpty() && !QFileInfo(settings.caFile).isReadable()) {
            printError(tr("cannot read the CA certificate %1").arg(settings.caFile));
            return MqttPublisher::kExitTlsFailed;
        }
    }

    // With MQTT the watch counts the readings the broker took, not those read from the monitor.
    const qint64 count = options.count;
    if (mqtt)
        options.count = 0;
    Watcher watcher(options);
    // With MQTT alone, nothing goes to stdout unless asked for with --out -.
    std::unique_ptr<WatchLog> log;
    if (!mqtt || !out.isEmpty()) {
        log = std::make_unique<WatchLog>(format == QLatin1String("csv") ? WatchLog::Csv : WatchLog::Jsonl);
        QString error;
        if (!log->open(out == QLatin1String("-") ? QString() : out, &error)) {
            printError(error);
            return kExitFailed;
        }
        QObject::connect(&watcher, &Watcher::connected, log.get(), &WatchLog::OnConnected);
        QObject::connect(&watcher, &Watcher::disconnected, log.get(), &WatchLog::OnDisconnected);
        QObject::connect(&watcher, &Watcher::reading, log.get(), &WatchLog::OnReading);
    }
    std::unique_ptr<MqttPublisher> publisher;
    if (mqtt) {
        publisher = std::make_unique<MqttPublisher>(settings);
        QString error;
        if (!publisher->configure(&error)) {
            printError(error);
            return kExitFailed;
        }
        QObject::connect(&watcher, &Watcher::connected, publisher.get(), &MqttPublisher::OnConnected);
        QObject::connect(&watcher, &Watcher::disconnected, publisher.get(), &MqttPublisher::OnDisconnected);
        QObject::connect(&watcher, &Watcher::reading, publisher.get(), &MqttPublisher::OnReading);
    }

    int exitCode = 0;
    QString error;
    bool ending = false;
    const auto end = [&](int code, const QString &message) {
        if (ending)
            return;
        ending = true;
        exitCode = code;
        error = message;
        // Leave the loop first so that the device goes down outside any of its own signals.
        QTimer::singleShot(0, &app, [&app] { app.quit(); });
    };
    // The receiver of everything that calls end(): it goes before the variables end() uses, so a
    // signal sent while the watcher, the log or the publisher is torn down reaches nothing.
    QObject endScope;
    QObject::connect(&watcher, &Watcher::finished, &endScope, end);
    if (log)
        QObject::connect(log.get(), &WatchLog::writeFailed, &endScope, [&](const QString &message) { end(kExitFailed, message); });
    if (publisher) {
        QObject::connect(publisher.get(), &MqttPublisher::refused, &endScope, end);
        QObject::connect(publisher.get(), &MqttPublisher::warning, &endScope, [](const QString &message) {
            std::fprintf(stderr, "varnoctl: warning: %s\n", message.toLocal8Bit().constData());
            std::fflush(stderr);
        });
        if (count > 0)
            QObject::connect(publisher.get(), &MqttPublisher::readingDelivered, &watcher, [&watcher, count](qint64 delivered) {
                if (delivered >= count)
                    watcher.stop();
            });
    }
    QObject::connect(&watcher, &Watcher::waiting, &app, [] {
        std::fprintf(stderr, "varnoctl: waiting for a monitor\n");
        std::fflush(stderr);
    });

    // Ctrl+C ends the watch like --count does.
    onStopRequest(&watcher, [&watcher] { watcher.stop(); });

    QTimer::singleShot(0, &watcher, &Watcher::start);
    app.exec();
    if (publisher)
        publisher->close();
    if (!error.isEmpty())
        printError(error);
    std::fprintf(stderr, "varnoctl: watched %lld s: %lld readings, %lld missed, %lld disconnections\n",
                 static_cast<long long>(watcher.elapsedMs() / 1000), static_cast<long long>(watcher.readings()),
                 static_cast<long long>(watcher.missed()), static_cast<long long>(watcher.disconnections()));
    if (publisher)
        std::fprintf(stderr, "varnoctl: MQTT: %lld readings taken, %lld delivered, %lld dropped from a full queue, "
                             "%lld not delivered at exit\n",
                     static_cast<long long>(publisher->taken()), static_cast<long long>(publisher->delivered()),
                     static_cast<long long>(publisher->dropped()), static_cast<long long>(publisher->undelivered()));
    return exitCode;
}
