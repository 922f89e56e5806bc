// varnoctl watch against the simulator: its lines, its limits, its stop on a signal, and a monitor
// that goes away and comes back.

#include "tests/common/devsimprocess.h"

#include <QDateTime>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

namespace {

QJsonObject json(const QByteArray &line)
{
    return QJsonDocument::fromJson(line).object();
}

// Runs varnoctl watch in the background; lines() holds what it has printed so far.
class Watch
{
public:
    ~Watch()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
    bool start(const QStringList &arguments, const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment())
    {
        m_process.setProcessEnvironment(environment);
        m_process.start(QStringLiteral(VARNO_CTL_PATH), arguments);
        return m_process.waitForStarted(5000);
    }
    QList<QByteArray> lines()
    {
        m_out += m_process.readAllStandardOutput();
        QList<QByteArray> all = m_out.split('\n');
        all.removeLast(); // a line is whole once its newline is there
        return all;
    }
    // Index of the first line at or after from that contains text, or -1.
    int find(const QByteArray &text, int from = 0)
    {
        const QList<QByteArray> all = lines();
        for (int i = from; i < all.size(); ++i) {
            if (all.at(i).contains(text))
                return i;
        }
        return -1;
    }
    QProcess &process() { return m_process; }

private:
    QProcess m_process;
    QByteArray m_out;
};

} // namespace

class TestVarnoctlWatch : public QObject
{
    Q_OBJECT

private slots:
    void lines_data();
    void lines();
    void usage_data();
    void usage();
    void unplugAndReplug_data();
    void unplugAndReplug();
};

void TestVarnoctlWatch::lines_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<QByteArray>("connected");
    QTest::addColumn<QByteArray>("reading");

    QTest::newRow("jsonl") << QStringList { "--count", "3" } << QByteArray()
                           << QByteArray(R"(,"event":"connected","serial":"SN-000123"})")
                           << QByteArray(R"(Z","serial":"SN-000123","left":12.00,"right":13.00,"average":12.50,"dose":1000.00})");
    QTest::newRow("csv") << QStringList { "--count", "3", "--format", "csv" }
                         << QByteArray("time,serial,left,right,average,dose,sensors_disagree,event")
                         << QByteArray("Z,SN-000123,,,,,,connected") << QByteArray("Z,SN-000123,12.00,13.00,12.50,1000.00,,");
}

void TestVarnoctlWatch::lines()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, header);
    QFETCH(QByteArray, connected);
    QFETCH(QByteArray, reading);
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("watch.log"));
    DevSimProcess sim;
    QVERIFY(sim.start({ QStringLiteral("--env-fixed") }));

    // Twice into the same file: appended, and a CSV keeps its one header.
    for (int run = 1; run <= 2; ++run) {
        QProcess watch;
        watch.start(QStringLiteral(VARNO_CTL_PATH),
                    QStringList { "--port", sim.path(), "watch", "--out", out } + arguments);
        QVERIFY(watch.waitForFinished(30000));
        QCOMPARE(watch.exitCode(), 0);
        const QByteArray err = watch.readAllStandardError();
        QVERIFY2(err.contains("3 readings, 0 missed, 0 disconnections"), err.constData());
    }
    QFile file(out);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QList<QByteArray> all = file.readAll().split('\n');
    QCOMPARE(all.takeLast(), QByteArray());
    if (!header.isEmpty())
        QCOMPARE(all.takeFirst(), header);
    QCOMPARE(all.size(), 2 * 4);
    QDateTime previous;
    for (int i = 0; i < all.size(); ++i) {
        const QByteArray &line = all.at(i);
        QVERIFY2(line.contains(i % 4 == 0 ? connected : reading), line.constData());
        const QDateTime time = QDateTime::fromString(QString::fromLatin1(line.mid(line.startsWith('{') ? 9 : 0, 20)),
                                                     Qt::ISODate);
        QVERIFY2(time.isValid() && time.timeSpec() == Qt::UTC, line.constData());
        QVERIFY(!previous.isValid() || previous <= time);
        previous = time;
        if (line.startsWith('{'))
            QVERIFY2(!json(line).isEmpty(), line.constData());
    }
}

void TestVarnoctlWatch::usage_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("interval below a second") << QStringList { "watch", "--interval", "0.5" } << 2;
    QTest::newRow("count zero") << QStringList { "watch", "--count", "0" } << 2;
    QTest::newRow("unknown format") << QStringList { "watch", "--format", "xml" } << 2;
    QTest::newRow("extra argument") << QStringList { "watch", "now" } << 2;
    QTest::newRow("bad mqtt url") << QStringList { "watch", "--mqtt", "http://127.0.0.1" } << 2;
    QTest::newRow("empty MQTT queue") << QStringList { "watch", "--mqtt", "mqtt://127.0.0.1", "--mqtt-queue", "0" } << 2;
    QTest::newRow("CA without TLS") << QStringList { "watch", "--mqtt", "mqtt://127.0.0.1", "--mqtt-ca", "/etc/hostname" } << 2;
    QTest::newRow("CA that cannot be read") << QStringList { "watch", "--mqtt", "mqtts://127.0.0.1", "--mqtt-ca", "/nonexistent.pem" } << 8;
    QTest::newRow("port that does not open") << QStringList { "--port", "/nonexistent/tty", "watch" } << 4;
    QTest::newRow("nothing present, duration ends it") << QStringList { "watch", "--duration", "1" } << 0;
}

void TestVarnoctlWatch::usage()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QTemporaryDir runtime;
    QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    environment.insert(QStringLiteral("VARNO_SIMULATORS"), QStringLiteral("1"));
    QProcess watch;
    watch.setProcessEnvironment(environment);
    watch.start(QStringLiteral(VARNO_CTL_PATH), arguments);
    QVERIFY(watch.waitForFinished(30000));
    QCOMPARE(watch.exitCode(), exitCode);
    QVERIFY(watch.readAllStandardOutput().isEmpty());
}

void TestVarnoctlWatch::unplugAndReplug_data()
{
    QTest::addColumn<bool>("killed");
    QTest::newRow("simulator ends") << false;
    // Its link is left behind, pointing nowhere; the link to the device fails instead.
    QTest::newRow("simulator killed") << true;
}

void TestVarnoctlWatch::unplugAndReplug()
{
    QFETCH(bool, killed);
    QTemporaryDir runtime;
    QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QByteArray previous = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("VARNO_SIMULATORS"), QStringLiteral("1"));
    {
        auto first = std::make_unique<DevSimProcess>();
        QVERIFY(first->start({ "--attach", "--serial", "SN-A" }));
        Watch watch;
        QVERIFY(watch.start({ "watch" }, environment));
        QTRY_VERIFY_WITH_TIMEOUT(watch.find(R"("serial":"SN-A","left")") >= 0, 20000);

        if (killed)
            first->process().kill();
        first.reset();
        QTRY_VERIFY_WITH_TIMEOUT(watch.find(R"("event":"disconnected","serial":"SN-A")") >= 0, 20000);

        DevSimProcess second;
        QVERIFY(second.start({ "--attach", "--serial", "SN-B" }));
        QTRY_VERIFY_WITH_TIMEOUT(watch.find(R"("event":"connected","serial":"SN-B")") >= 0, 20000);
        const int connected = watch.find(R"("event":"connected","serial":"SN-B")");
        QTRY_VERIFY_WITH_TIMEOUT(watch.find(R"("serial":"SN-B","left")", connected) > connected, 20000);

        ::kill(pid_t(watch.process().processId()), SIGTERM);
        QVERIFY(watch.process().waitForFinished(10000));
        QCOMPARE(watch.process().exitStatus(), QProcess::NormalExit);
        QCOMPARE(watch.process().exitCode(), 0);
        const QByteArray err = watch.process().readAllStandardError();
        QVERIFY2(err.contains(" 1 disconnections\n"), err.constData());
        QCOMPARE(err.count('\n'), 1);
        // Nothing but whole lines of JSON, even around the unplug.
        const QList<QByteArray> all = watch.lines();
        for (const QByteArray &line : all)
            QVERIFY2(!json(line).isEmpty(), line.constData());
    }
    if (previous.isNull())
        qunsetenv("XDG_RUNTIME_DIR");
    else
        qputenv("XDG_RUNTIME_DIR", previous);
}

QTEST_GUILESS_MAIN(TestVarnoctlWatch)
#include "tst_varnoctlwatch.moc"
