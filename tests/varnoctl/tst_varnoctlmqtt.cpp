// varnoctl watch --mqtt against a real mosquitto on 127.0.0.1: discovery, state and availability,
// the broker's last will, reconnection after a broker restart, readings kept across an outage, and
// a refused login.

#include "tests/common/devsimprocess.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <pwd.h>
#include <unistd.h>

namespace {

const QString kBase = QStringLiteral("varno/SN-000123");

struct Message
{
    bool retained = false;
    QString topic;
    QByteArray payload;
};

// A broker of the test's own, with a config file written here and nothing kept on disk.
class Broker
{
public:
    ~Broker() { stop(); }
    // persistent: the broker keeps its sessions in folder across a restart.
    bool start(const QString &folder, int port, const QString &passwordFile = QString(), bool persistent = false)
    {
        const QString config = folder + QStringLiteral("/mosquitto.conf");
        QFile file(config);
        if (!file.open(QIODevice::WriteOnly))
            return false;
        // Run as root, mosquitto would otherwise become user "mosquitto", who cannot read our folder.
        const passwd *user = ::getpwuid(::getuid());
        file.write("listener " + QByteArray::number(port) + " 127.0.0.1\nlog_dest stderr\nuser "
                   + QByteArray(user ? user->pw_name : "root") + '\n');
        file.write(persistent ? "persistence true\npersistence_location " + folder.toLocal8Bit() + "/\n"
                              : QByteArray("persistence false\n"));
        if (passwordFile.isEmpty())
            file.write("allow_anonymous true\n");
        else
            file.write("allow_anonymous false\npassword_file " + passwordFile.toLocal8Bit() + '\n');
        file.close();
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.start(QStringLiteral("mosquitto"), { QStringLiteral("-c"), config });
        QByteArray log;
        while (!log.contains(" running")) {
            if (!m_process.waitForReadyRead(10000))
                return false;
            log += m_process.readAll();
        }
        return true;
    }
    void stop() { stopProcess(m_process); }

private:
    QProcess m_process;
};

// mosquitto_sub on everything the watch may publish, subscribed for sure once start() returns.
class Subscriber
{
public:
    ~Subscriber()
    {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    // session: a client id whose session the broker keeps while it is away.
    bool start(int port, const QString &session = QString())
    {
        m_port = port;
        QStringList arguments { "-h", "127.0.0.1", "-p", QString::number(port), "-q", "1", "-t", "varno/#", "-t",
                                "homeassistant/#", "-t", "probe", "-F", "%r|%t|%p" };
        if (!session.isEmpty())
            arguments << "-c" << "-i" << session;
        m_process.start(QStringLiteral("mosquitto_sub"), arguments);
        if (!m_process.waitForStarted(5000))
            return false;
        // Its subscription is in place once a message published after it comes through.
        for (int attempt = 0; attempt < 50 && find(QStringLiteral("probe")) < 0; ++attempt) {
            QProcess::execute(QStringLiteral("mosquitto_pub"),
                              { "-h", "127.0.0.1", "-p", QString::number(port), "-t", "probe", "-m", "x" });
            m_process.waitForReadyRead(200);
        }
        return find(QStringLiteral("probe")) >= 0;
    }
    QList<Message> messages()
    {
        m_buffer += m_process.readAllStandardOutput();
        while (m_buffer.contains('\n')) {
            const int end = m_buffer.indexOf('\n');
            const QByteArray line = m_buffer.left(end);
            m_buffer.remove(0, end + 1);
            const QList<QByteArray> parts = line.split('|');
            if (parts.size() >= 3)
                m_messages.append({ parts.at(0) == "1", QString::fromUtf8(parts.at(1)), line.mid(parts.at(0).size() + parts.at(1).size() + 2) });
        }
        return m_messages;
    }
    // Leaves the broker cleanly: what it printed, it acknowledged.
    bool stop()
    {
        m_process.terminate();
        return m_process.waitForFinished(5000) && (messages(), true);
    }
    QStringList stateTimes()
    {
        QStringList times;
        for (const Message &message : messages()) {
            if (message.topic == kBase + "/state")
                times << QJsonDocument::fromJson(message.payload).object().value("time").toString();
        }
        return times;
    }
    int find(const QString &topic, const QByteArray &payload = QByteArray(), int from = 0)
    {
        const QList<Message> all = messages();
        for (int i = from; i < all.size(); ++i) {
            if (all.at(i).topic == topic && (payload.isNull() || all.at(i).payload.contains(payload)))
                return i;
        }
        return -1;
    }

private:
    QProcess m_process;
    QByteArray m_buffer;
    QList<Message> m_messages;
    int m_port = 0;
};

// The times of the readings among the watch's JSON lines.
QStringList readingTimes(const QByteArray &lines)
{
    QStringList times;
    for (const QByteArray &line : lines.split('\n')) {
        const QJsonObject object = QJsonDocument::fromJson(line).object();
        if (object.contains("left"))
            times << object.value("time").toString();
    }
    return times;
}

// "varnoctl: MQTT: 5 readings taken, 4 delivered, 0 dropped from a full queue, 1 not delivered at exit"
QList<qint64> mqttSummary(const QByteArray &err)
{
    const QRegularExpressionMatch match = QRegularExpression(
        "varnoctl: MQTT: (\\d+) readings taken, (\\d+) delivered, (\\d+) dropped from a full queue, (\\d+) not delivered at exit\n")
                                              .match(QString::fromLocal8Bit(err));
    QList<qint64> figures;
    for (int i = 1; match.hasMatch() && i <= 4; ++i)
        figures << match.captured(i).toLongLong();
    return figures;
}

int freePort()
{
    QTcpServer server;
    return server.listen(QHostAddress::LocalHost) ? server.serverPort() : 0;
}

} // namespace

class TestVarnoctlMqtt : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void publishes();
    void reconnectsThenLastWill();
    void outage_data();
    void outage();
    void login_data();
    void login();

private:
    QProcess *watch(const QStringList &arguments, const QString &password = QString(),
                    const QString &scheme = QStringLiteral("mqtt"));
    QTemporaryDir m_dir;
    DevSimProcess m_sim;
    int m_port = 0;
    QList<QProcess *> m_watches;
};

void TestVarnoctlMqtt::initTestCase()
{
    if (QStandardPaths::findExecutable(QStringLiteral("mosquitto")).isEmpty()
        && QStandardPaths::findExecutable(QStringLiteral("mosquitto"), { "/usr/sbin" }).isEmpty())
        QSKIP("mosquitto is not installed (tools/setup.sh installs it)");
    qputenv("PATH", qgetenv("PATH") + ":/usr/sbin");
    QVERIFY(m_sim.start({ QStringLiteral("--env-fixed") }));
}

void TestVarnoctlMqtt::cleanup()
{
    for (QProcess *process : qAsConst(m_watches)) {
        process->kill();
        process->waitForFinished(5000);
        delete process;
    }
    m_watches.clear();
}

QProcess *TestVarnoctlMqtt::watch(const QStringList &arguments, const QString &password, const QString &scheme)
{
    auto *process = new QProcess;
    m_watches.append(process);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (!password.isNull())
        environment.insert(QStringLiteral("VARNO_MQTT_PASSWORD"), password);
    process->setProcessEnvironment(environment);
    process->start(QStringLiteral(VARNO_CTL_PATH),
                   QStringList { "--port", m_sim.path(), "watch", "--mqtt", QStringLiteral("%1://127.0.0.1:%2").arg(scheme).arg(m_port) }
                       + arguments);
    return process;
}

void TestVarnoctlMqtt::publishes()
{
    m_port = freePort();
    Broker broker;
    QVERIFY(broker.start(m_dir.path(), m_port));
    Subscriber sub;
    QVERIFY(sub.start(m_port));

    // The watch ends once the broker acknowledged three readings; the first one, taken before the
    // broker answered, waited for it.
    QProcess *process = watch({ "--rate-unit", "counts/s", "--count", "3" });
    QVERIFY(process->waitForFinished(30000));
    QCOMPARE(process->exitCode(), 0);
    QVERIFY(process->readAllStandardOutput().isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(sub.find(kBase + "/availability", "offline") >= 0, 10000);
    const QByteArray err = process->readAllStandardError();
    const QList<qint64> summary = mqttSummary(err);
    QVERIFY2(summary.size() == 4, err.constData());
    QVERIFY2(summary.at(1) >= 3 && summary.at(0) == summary.at(1) && summary.at(2) == 0 && summary.at(3) == 0, err.constData());
    QCOMPARE(sub.stateTimes().size(), summary.at(1));

    const struct
    {
        const char *field;
        const char *unit;
        const char *stateClass;
    } sensors[] = { { "left", "counts/s", "measurement" }, { "right", "counts/s", "measurement" },
                    { "average", "counts/s", "measurement" }, { "dose", "µSv", "total" } };
    const QList<Message> all = sub.messages();
    // What the broker keeps, a subscriber that comes later gets at once.
    Subscriber late;
    QVERIFY(late.start(m_port));
    QTRY_VERIFY_WITH_TIMEOUT(late.find(kBase + "/availability", "offline") >= 0, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(late.find("homeassistant/sensor/varno_SN-000123_dose/config") >= 0, 10000);
    QVERIFY(late.messages().at(late.find(kBase + "/availability")).retained);
    QCOMPARE(late.find(kBase + "/state"), -1);
    for (const auto &sensor : sensors) {
        const QString id = QStringLiteral("varno_SN-000123_%1").arg(QLatin1String(sensor.field));
        const int at = sub.find(QStringLiteral("homeassistant/sensor/%1/config").arg(id));
        QVERIFY2(at >= 0, sensor.field);
        QVERIFY(late.find(all.at(at).topic) >= 0 && late.messages().at(late.find(all.at(at).topic)).retained);
        const QJsonObject config = QJsonDocument::fromJson(all.at(at).payload).object();
        QCOMPARE(config.value("unique_id").toString(), id);
        QCOMPARE(config.value("state_topic").toString(), kBase + "/state");
        QCOMPARE(config.value("availability_topic").toString(), kBase + "/availability");
        QCOMPARE(config.value("value_template").toString(), QStringLiteral("{{ value_json.%1 }}").arg(sensor.field));
        QCOMPARE(config.value("unit_of_measurement").toString(), QString::fromUtf8(sensor.unit));
        QCOMPARE(config.value("state_class").toString(), QLatin1String(sensor.stateClass));
        const QJsonObject device = config.value("device").toObject();
        QCOMPARE(device.value("identifiers").toArray(), QJsonArray { "SN-000123" });
        QVERIFY(device.value("model").toString().startsWith(QLatin1String("DAV-180")));
        QCOMPARE(device.value("sw_version").toString(), QStringLiteral("1.9"));
        QCOMPARE(device.value("manufacturer").toString(), QStringLiteral("VARNO"));
    }
    const int online = sub.find(kBase + "/availability", "online");
    QVERIFY(online >= 0);
    // Three readings, in order, after "online" and before "offline".
    int at = online;
    QString previous;
    for (int i = 0; i < 3; ++i) {
        at = sub.find(kBase + "/state", QByteArray(), at + 1);
        QVERIFY(at >= 0);
        const QJsonObject state = QJsonDocument::fromJson(all.at(at).payload).object();
        QCOMPARE(state.value("left").toDouble(), 12.0);
        QCOMPARE(state.value("average").toDouble(), 12.5);
        QCOMPARE(state.value("dose").toDouble(), 1000.0);
        QVERIFY(state.value("time").toString() >= previous);
        previous = state.value("time").toString();
    }
    QVERIFY(sub.find(kBase + "/availability", "offline") > at);
}

void TestVarnoctlMqtt::reconnectsThenLastWill()
{
    m_port = freePort();
    auto broker = std::make_unique<Broker>();
    QVERIFY(broker->start(m_dir.path(), m_port));
    QProcess *process = watch({ "--out", "-" });
    {
        Subscriber sub;
        QVERIFY(sub.start(m_port));
        QTRY_VERIFY_WITH_TIMEOUT(sub.find(kBase + "/state") >= 0, 20000);
    }

    QByteArray lines;
    QTRY_VERIFY_WITH_TIMEOUT((lines += process->readAllStandardOutput()).count('\n') > 0, 10000);

    // A new broker keeps nothing: what it has, the watch sent again after reconnecting.
    broker.reset();
    broker = std::make_unique<Broker>();
    QVERIFY(broker->start(m_dir.path(), m_port));
    Subscriber sub;
    QVERIFY(sub.start(m_port));
    QTRY_VERIFY_WITH_TIMEOUT(sub.find("homeassistant/sensor/varno_SN-000123_dose/config") >= 0, 30000);
    QTRY_VERIFY_WITH_TIMEOUT(sub.find(kBase + "/state") >= 0, 10000);
    QVERIFY(sub.find(kBase + "/availability", "online") >= 0);
    // The lines went on all the while.
    const int before = lines.count('\n');
    QTRY_VERIFY_WITH_TIMEOUT((lines += process->readAllStandardOutput()).count('\n') > before, 10000);

    process->kill();
    QTRY_VERIFY_WITH_TIMEOUT(sub.find(kBase + "/availability", "offline") >= 0, 20000);
}

void TestVarnoctlMqtt::outage_data()
{
    QTest::addColumn<int>("readingsWhileDown");
    QTest::addColumn<int>("queue"); // 0: the default, a day's worth
    // A reading a second: the broker is away for half a minute.
    QTest::newRow("outage of 30 readings") << 30 << 0;
    QTest::newRow("queue of 3 across an outage of 6 readings") << 6 << 3;
    // A longer one on demand: VARNO_TEST_OUTAGE_READINGS=300 (five minutes and more).
    const int longer = qEnvironmentVariableIntValue("VARNO_TEST_OUTAGE_READINGS");
    if (longer > 0)
        QTest::addRow("outage of %d readings", longer) << longer << 0;
}

void TestVarnoctlMqtt::outage()
{
    QFETCH(int, readingsWhileDown);
    QFETCH(int, queue);
    // The broker keeps the subscriber's session across its restart, so whatever the watch sends
    // the new broker reaches the subscriber however soon the watch is back.
    QTemporaryDir folder;
    const QString session = QStringLiteral("varno-outage-test");
    m_port = freePort();
    auto broker = std::make_unique<Broker>();
    QVERIFY(broker->start(folder.path(), m_port, QString(), true));
    Subscriber before;
    QVERIFY(before.start(m_port, session));

    QStringList arguments { "--out", "-" };
    if (queue > 0)
        arguments << "--mqtt-queue" << QString::number(queue);
    QProcess *process = watch(arguments);
    QByteArray lines;
    const auto taken = [&] { return readingTimes(lines += process->readAllStandardOutput()); };
    QTRY_VERIFY_WITH_TIMEOUT(before.stateTimes().size() >= 2, 30000);

    // The broker goes just after a reading came through, not while the watch waits for the
    // acknowledgement of one (which the watch would rightly send again). The subscriber leaves
    // cleanly first: nothing it printed comes again from the next broker.
    const int seen = before.stateTimes().size();
    QTRY_VERIFY_WITH_TIMEOUT(before.stateTimes().size() > seen, 10000);
    QVERIFY(before.stop());
    broker.reset();
    const int atStop = taken().size();
    QTRY_VERIFY_WITH_TIMEOUT(taken().size() >= atStop + readingsWhileDown, (readingsWhileDown + 10) * 2000);
    broker = std::make_unique<Broker>();
    QVERIFY(broker->start(folder.path(), m_port, QString(), true));
    Subscriber after;
    QVERIFY(after.start(m_port, session));
    // The watch retries with back-off (up to 16 s apart by now), then sends what waited, and the
    // readings taken since.
    const int atRestart = taken().size();
    QTRY_VERIFY_WITH_TIMEOUT(taken().size() > atRestart + 1 && after.stateTimes().contains(taken().at(atRestart + 1)), 90000);

    process->terminate();
    QVERIFY(process->waitForFinished(30000));
    QCOMPARE(process->exitCode(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(after.find(kBase + "/availability", "offline") >= 0, 10000);
    const QByteArray err = process->readAllStandardError();
    const QList<qint64> summary = mqttSummary(err);
    QVERIFY2(summary.size() == 4, err.constData());
    qInfo("%d readings taken while the broker was down; %s", atRestart - atStop,
          err.mid(err.indexOf("varnoctl: MQTT:")).trimmed().constData());
    const qint64 dropped = summary.at(2);
    const qint64 undelivered = summary.at(3);

    // Every reading taken is delivered once, in order, save the oldest of the outage that did not
    // fit in the queue and those still on their way at exit.
    const QStringList all = taken();
    const QStringList delivered = before.stateTimes() + after.stateTimes();
    QCOMPARE(summary.at(0), qint64(all.size()));
    QCOMPARE(summary.at(1), qint64(delivered.size()));
    QCOMPARE(summary.at(1) + dropped + undelivered, summary.at(0));
    if (queue == 0)
        QCOMPARE(dropped, 0);
    else
        QVERIFY2(dropped >= readingsWhileDown - queue, err.constData());
    QVERIFY2(dropped == 0 || err.contains("varnoctl: warning: the MQTT queue is full"), err.constData());
    int same = 0;
    while (same < delivered.size() && same < all.size() && delivered.at(same) == all.at(same))
        ++same;
    QVERIFY(dropped == 0 || same < atRestart);
    QCOMPARE(delivered.mid(same), all.mid(same + int(dropped), delivered.size() - same));
}

void TestVarnoctlMqtt::login_data()
{
    QTest::addColumn<QString>("scheme");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("error");
    QTest::newRow("right password") << "mqtt" << "s3cret" << QStringList { "--count", "1" } << 0 << QByteArray();
    // Refused, the watch ends by itself however long it was to run.
    QTest::newRow("wrong password") << "mqtt" << "wrong" << QStringList { "--duration", "60" } << 7
                                    << QByteArray("the MQTT broker refused the login");
    QTest::newRow("no password") << "mqtt" << QString() << QStringList { "--duration", "60" } << 7
                                 << QByteArray("the MQTT broker refused the login");
    QTest::newRow("TLS to a plain listener") << "mqtts" << "s3cret" << QStringList { "--duration", "60" } << 8
                                             << QByteArray("TLS with the MQTT broker failed");
}

void TestVarnoctlMqtt::login()
{
    QFETCH(QString, scheme);
    QFETCH(QString, password);
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, error);
    const QString passwords = m_dir.filePath(QStringLiteral("passwords"));
    QFile::remove(passwords);
    QCOMPARE(QProcess::execute(QStringLiteral("mosquitto_passwd"), { "-c", "-b", passwords, "watcher", "s3cret" }), 0);
    m_port = freePort();
    Broker broker;
    QVERIFY(broker.start(m_dir.path(), m_port, passwords));

    QProcess *process = watch(QStringList { "--mqtt-user", "watcher" } + arguments, password, scheme);
    QVERIFY(process->waitForFinished(30000));
    const QByteArray err = process->readAllStandardError();
    QVERIFY2(process->exitCode() == exitCode, err.constData());
    QVERIFY2(err.contains("varnoctl: error: " + error) == !error.isEmpty(), err.constData());
}

QTEST_GUILESS_MAIN(TestVarnoctlMqtt)
#include "tst_varnoctlmqtt.moc"
