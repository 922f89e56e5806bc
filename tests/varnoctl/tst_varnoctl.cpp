// varnoctl end to end: every subcommand against the simulator, text and JSON, and its exit codes.

#include "tests/common/devsimprocess.h"
#include "tests/update/updatefixture.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct CtlRun
{
    int exitCode = -1;
    QString out;
    QString err;
};

CtlRun runCtl(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral(VARNO_CTL_PATH), arguments);
    CtlRun run;
    if (!process.waitForFinished(30000)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    run.err = QString::fromLocal8Bit(process.readAllStandardError());
    return run;
}

// Runs varnoctl while this process's event loop goes on (the update server lives here).
CtlRun runCtlServing(const QStringList &arguments, const QString &home)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home);
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
    process.setProcessEnvironment(environment);
    qRegisterMetaType<QProcess::ExitStatus>();
    QSignalSpy finished(&process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished));
    process.start(QStringLiteral(VARNO_CTL_PATH), arguments);
    process.closeWriteChannel(); // a question gets no answer
    CtlRun run;
    if (!finished.wait(60000)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    run.err = QString::fromLocal8Bit(process.readAllStandardError());
    return run;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestVarnoctl : public QObject
{
    Q_OBJECT

private slots:
    void subcommands_data();
    void subcommands();
    void pullAndPush();
    void passwordThenProtectedCommand();
    void doseRoundTrip();
    void failures_data();
    void failures();
    void findsTheMonitor_data();
    void findsTheMonitor();
    void refusedLocally_data();
    void refusedLocally();
    void firmwareUpload_data();
    void firmwareUpload();
};

void TestVarnoctl::subcommands_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("output");
    QTest::newRow("info") << QStringList { "info" } << 0 << "Serial number: SN-000123";
    QTest::newRow("info json") << QStringList { "--json", "info" } << 0 << "\"firmware\":\"1.9\"";
    QTest::newRow("state") << QStringList { "state" } << 0 << "Battery:       87 %";
    QTest::newRow("state json") << QStringList { "--json", "state" } << 0 << "\"powerCycles\":17";
    QTest::newRow("env") << QStringList { "env" } << 0 << "Dose:    1000.00";
    QTest::newRow("env json") << QStringList { "--json", "env" } << 0 << "\"dose\":1000";
    QTest::newRow("calibration") << QStringList { "calibration" } << 0 << "1.00";
    QTest::newRow("calibration get") << QStringList { "calibration", "get" } << 0 << "1.00";
    QTest::newRow("calibration set") << QStringList { "--password", "1234", "calibration", "set", "1.5" } << 0
                                     << "Calibration set to 1.50";
    QTest::newRow("calibration set refused") << QStringList { "--password", "0000", "calibration", "set", "1.5" } << 1
                                             << "";
    QTest::newRow("calibration set no password") << QStringList { "calibration", "set", "1.5" } << 2 << "";
    QTest::newRow("calibration above the field") << QStringList { "--password", "1234", "calibration", "set", "655.36" }
                                                 << 6 << "";
    QTest::newRow("calibration not finite") << QStringList { "--password", "1234", "calibration", "set", "inf" } << 6 << "";
    QTest::newRow("files") << QStringList { "files" } << 0 << "MEASTIME.DAT";
    QTest::newRow("files json") << QStringList { "--json", "files" } << 0 << "\"name\":\"BOOT.EXC\"";
    QTest::newRow("rm") << QStringList { "rm", "readme.txt" } << 0 << "Removed README.TXT";
    QTest::newRow("rm missing") << QStringList { "rm", "NOPE.TXT" } << 5 << "";
    QTest::newRow("dose reset") << QStringList { "--password", "1234", "dose", "reset" } << 0 << "Dose reset";
    QTest::newRow("dose set") << QStringList { "--password", "1234", "dose", "set", "12.5", "60" } << 0
                              << "Dose set to 12.50 over 60 s";
    QTest::newRow("dose set bad number") << QStringList { "--password", "1234", "dose", "set", "x", "60" } << 2 << "";
    QTest::newRow("password") << QStringList { "password", "1234", "abcd" } << 0 << "Password changed";
    QTest::newRow("password refused") << QStringList { "password", "9999", "abcd" } << 1 << "";
    QTest::newRow("unknown") << QStringList { "frobnicate" } << 2 << "";
    QTest::newRow("unknown option") << QStringList { "--frobnicate", "info" } << 2 << "";
    QTest::newRow("version") << QStringList { "--version" } << 0 << "varnoctl " VARNO_VERSION;
    QTest::newRow("nothing") << QStringList {} << 2 << "";
}

void TestVarnoctl::subcommands()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, output);
    DevSimProcess sim;
    QVERIFY2(sim.start({ QStringLiteral("--env-fixed") }), "simulator did not start");
    const CtlRun run = runCtl(QStringList { QStringLiteral("--port"), sim.path() } + arguments);
    QVERIFY2(run.exitCode == exitCode, qPrintable(run.out + run.err));
    QVERIFY2(run.out.contains(output), qPrintable(run.out));
    if (exitCode != 0) {
        // One line of error on stderr.
        QVERIFY2(run.err.startsWith(QLatin1String("varnoctl: error: ")), qPrintable(run.err));
        QCOMPARE(run.err.count(QLatin1Char('\n')), 1);
    }
    if (arguments.contains(QStringLiteral("--json")))
        QVERIFY(QJsonDocument::fromJson(run.out.toUtf8()).object().value(QStringLiteral("ok")).toBool());
}

void TestVarnoctl::pullAndPush()
{
    QTemporaryDir work;
    QTemporaryDir dump;
    DevSimProcess sim;
    QVERIFY(sim.start({ QStringLiteral("--dump"), dump.path() }));
    const QString port = sim.path();

    CtlRun run = runCtl({ "--port", port, "pull", "measure.dat", work.path() });
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    QCOMPARE(readFile(work.filePath(QStringLiteral("MEASURE.DAT"))).size(), 3 * 360 * 2);

    const QString local = work.filePath(QStringLiteral("notes.txt"));
    QByteArray data;
    for (int i = 0; i < 2000; ++i)
        data.append(QByteArray::number(i)).append('\n');
    QFile file(local);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(data);
    file.close();
    run = runCtl({ "--port", port, "--json", "--attributes", "4", "push", local });
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    QCOMPARE(QJsonDocument::fromJson(run.out.toUtf8()).object().value(QStringLiteral("size")).toInt(), data.size());

    run = runCtl({ "--port", port, "--json", "pull", "NOTES.TXT", work.path() });
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    QCOMPARE(readFile(work.filePath(QStringLiteral("NOTES.TXT"))), data);

    run = runCtl({ "--port", port, "pull", "NOTES.TXT", work.filePath(QStringLiteral("missing-folder")) });
    QCOMPARE(run.exitCode, 5);

    sim.stop();
    QCOMPARE(readFile(dump.filePath(QStringLiteral("NOTES.TXT"))), data);
    QVERIFY(readFile(dump.filePath(QStringLiteral("filesystem.lst"))).contains("NOTES.TXT " + QByteArray::number(data.size()) + " 4 "));
}

void TestVarnoctl::passwordThenProtectedCommand()
{
    DevSimProcess sim;
    QVERIFY(sim.start());
    const QString port = sim.path();
    QCOMPARE(runCtl({ "--port", port, "password", "1234", "s3cret" }).exitCode, 0);
    QCOMPARE(runCtl({ "--port", port, "--password", "1234", "calibration", "set", "2" }).exitCode, 1);
    QCOMPARE(runCtl({ "--port", port, "--password", "s3cret", "calibration", "set", "2" }).exitCode, 0);
    QCOMPARE(runCtl({ "--port", port, "calibration" }).out.trimmed(), QStringLiteral("2.00"));
    // The whole unsigned field is written, with a warning outside the usual range.
    const CtlRun wide = runCtl({ "--port", port, "--password", "s3cret", "calibration", "set", "655.35" });
    QCOMPARE(wide.exitCode, 0);
    QVERIFY2(wide.err.contains(QLatin1String("warning: 655.35 lies outside the usual 0.50 to 1.50")), qPrintable(wide.err));
    QCOMPARE(runCtl({ "--port", port, "calibration" }).out.trimmed(), QStringLiteral("655.35"));
    const CtlRun usual = runCtl({ "--port", port, "--password", "s3cret", "calibration", "set", "1.5" });
    QCOMPARE(usual.exitCode, 0);
    QVERIFY2(usual.err.isEmpty(), qPrintable(usual.err));
}

void TestVarnoctl::doseRoundTrip()
{
    DevSimProcess sim;
    QVERIFY(sim.start({ QStringLiteral("--env-fixed") }));
    const QString port = sim.path();
    QCOMPARE(runCtl({ "--port", port, "--password", "1234", "dose", "set", "12.5", "3600" }).exitCode, 0);
    QVERIFY(runCtl({ "--port", port, "env" }).out.contains(QLatin1String("Dose:    12.50")));
    QCOMPARE(runCtl({ "--port", port, "--password", "1234", "dose", "reset" }).exitCode, 0);
    QVERIFY(runCtl({ "--port", port, "env" }).out.contains(QLatin1String("Dose:    0.00")));
}

void TestVarnoctl::failures_data()
{
    QTest::addColumn<QStringList>("simArguments");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    // Read ID gives up (2 s) before the link does (2.4 s).
    QTest::newRow("silent device") << QStringList { "--silent" } << QStringList { "info" } << 3;
    QTest::newRow("silent device, long task") << QStringList { "--silent" } << QStringList { "files" } << 4;
    QTest::newRow("slow device") << QStringList { "--reply-delay", "3000" } << QStringList { "state" } << 3;
    QTest::newRow("abort") << QStringList { "--abort-after", "1" } << QStringList { "files" } << 4;
    // The overall limit ends the wait before the link would give up.
    QTest::newRow("--timeout") << QStringList { "--silent" } << QStringList { "--timeout", "1", "files" } << 3;
    QTest::newRow("malformed") << QStringList { "--wrong-length", "0x20" } << QStringList { "env" } << 5;
    QTest::newRow("all passwords refused") << QStringList { "--refuse-passwords" }
                                           << QStringList { "--password", "1234", "dose", "reset" } << 1;
    QTest::newRow("no such port") << QStringList() << QStringList { "--port", "/nonexistent/tty", "info" } << 4;
}

void TestVarnoctl::failures()
{
    QFETCH(QStringList, simArguments);
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    DevSimProcess sim;
    QStringList full = arguments;
    if (!simArguments.isEmpty()) {
        QVERIFY(sim.start(simArguments));
        full = QStringList { QStringLiteral("--port"), sim.path() } + arguments;
    }
    full.prepend(QStringLiteral("--json"));
    const CtlRun run = runCtl(full);
    QVERIFY2(run.exitCode == exitCode, qPrintable(run.out + run.err));
    QCOMPARE(run.err.count(QLatin1Char('\n')), 1);
    const QJsonObject json = QJsonDocument::fromJson(run.out.toUtf8()).object();
    QCOMPARE(json.value(QStringLiteral("ok")).toBool(true), false);
    QCOMPARE(json.value(QStringLiteral("exitCode")).toInt(), exitCode);
}

// Without --port, varnoctl looks for monitors as the program does; attached simulators count when
// VARNO_SIMULATORS=1 asks for them.
void TestVarnoctl::findsTheMonitor_data()
{
    QTest::addColumn<int>("attached");
    QTest::addColumn<QByteArray>("simulators");
    QTest::addColumn<int>("found");
    QTest::addColumn<int>("exitCode");

    QTest::newRow("none") << 0 << QByteArray("1") << 0 << 4;
    QTest::newRow("one") << 1 << QByteArray("1") << 1 << 0;
    QTest::newRow("two") << 2 << QByteArray("1") << 2 << 2;
    QTest::newRow("one, simulators not asked for") << 1 << QByteArray() << 0 << 4;
}

void TestVarnoctl::findsTheMonitor()
{
    QFETCH(int, attached);
    QFETCH(QByteArray, simulators);
    QFETCH(int, found);
    QFETCH(int, exitCode);
    QTemporaryDir runtime;
    QVERIFY(runtime.isValid());
    QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QByteArray previous = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
    if (simulators.isNull())
        qunsetenv("VARNO_SIMULATORS");
    else
        qputenv("VARNO_SIMULATORS", simulators);
    {
        DevSimProcess sims[2];
        for (int i = 0; i < attached; ++i)
            QVERIFY(sims[i].start({ QStringLiteral("--attach"), QStringLiteral("--serial"), QStringLiteral("SN-%1").arg(i) }));

        const CtlRun list = runCtl({ QStringLiteral("--json"), QStringLiteral("list") });
        QCOMPARE(list.exitCode, 0);
        const QJsonArray monitors = QJsonDocument::fromJson(list.out.toUtf8()).object().value(QStringLiteral("monitors")).toArray();
        QCOMPARE(monitors.size(), found);

        const CtlRun info = runCtl({ QStringLiteral("info") });
        QCOMPARE(info.exitCode, exitCode);
        if (found == 1)
            QVERIFY2(info.out.contains(QLatin1String("SN-0")), qPrintable(info.out));
        if (found == 2) {
            for (const QJsonValue &monitor : monitors)
                QVERIFY2(info.err.contains(monitor.toString()), qPrintable(info.err));
        }
        if (found == 0)
            QVERIFY(info.err.contains(QLatin1String("no monitor found")));
    }
    qunsetenv("VARNO_SIMULATORS");
    if (previous.isNull())
        qunsetenv("XDG_RUNTIME_DIR");
    else
        qputenv("XDG_RUNTIME_DIR", previous);
}

// Arguments the monitor could not take end at once with exit code 6 and the allowed range, instead
// of waiting for an answer that never comes.
void TestVarnoctl::refusedLocally_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("range");
    const QString tooLong(256, QLatin1Char('n'));
    QTest::newRow("calibration set 900") << QStringList { "--password", "1234", "calibration", "set", "900" }
                                         << "0.00 and 655.35";
    QTest::newRow("password too long") << QStringList { "password", "1234", tooLong } << "0 to 255 bytes";
    QTest::newRow("calibration password too long") << QStringList { "--password", tooLong, "calibration", "set", "1" }
                                                   << "0 to 255 bytes";
    QTest::newRow("dose set out of range") << QStringList { "--password", "1234", "dose", "set", "1e20", "60" }
                                           << "92233720368547758.07";
    QTest::newRow("dose reset, password too long") << QStringList { "--password", tooLong, "dose", "reset" }
                                                   << "0 to 255 bytes";
    QTest::newRow("push of a file too big") << QStringList { "push", "@big" } << "0 to 16777211 bytes";
}

void TestVarnoctl::refusedLocally()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, range);
    QTemporaryDir work;
    const QString big = work.filePath(QStringLiteral("big.bin"));
    QFile file(big);
    // Sparse: the size is what counts, nothing of it is ever read.
    QVERIFY(file.open(QIODevice::WriteOnly) && file.resize(16 * 1024 * 1024));
    file.close();
    arguments.replaceInStrings(QStringLiteral("@big"), big);
    DevSimProcess sim;
    QVERIFY(sim.start());
    const CtlRun run = runCtl(QStringList { "--port", sim.path(), "--timeout", "30" } + arguments);
    QVERIFY2(run.exitCode == 6, qPrintable(run.out + run.err));
    QVERIFY2(run.err.startsWith(QLatin1String("varnoctl: error: ")) && run.err.contains(range), qPrintable(run.err));
    // The monitor still answers: nothing was half sent.
    QCOMPARE(runCtl({ "--port", sim.path(), "calibration" }).exitCode, 0);
}

// The newest release from a local update server ends up on the simulated monitor; check reports it.
void TestVarnoctl::firmwareUpload_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("output");
    QTest::addColumn<bool>("written");
    QTest::newRow("check") << QStringList { "firmware", "check" } << 0 << "Firmware 1.10 is available" << false;
    QTest::newRow("upload") << QStringList { "--password", "1234", "firmware", "upload", "--yes" } << 0
                            << "Firmware 1.10 is on the monitor" << true;
    QTest::newRow("upload, removal not confirmed") << QStringList { "--password", "1234", "firmware", "upload" } << 5
                                                   << "" << false;
    QTest::newRow("upload without password") << QStringList { "firmware", "upload", "--yes" } << 2 << "" << false;
}

void TestVarnoctl::firmwareUpload()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, output);
    QFETCH(bool, written);
    QTemporaryDir home;
    QTemporaryDir dump;
    HttpTestServer server;
    QVERIFY(server.listen());
    const fixture::File image { "f1", "fw.bin", QByteArray(3000, 'i'), 0, true, true };
    const fixture::File loader { "f2", "Boot.Exc", QByteArray(500, 'l'), 1, true, true };
    fixture::serveRelease(server, { { "r1", "1.8" }, { "r2", "1.10" } }, "r2", { image, loader });
    // Only the simulated monitor's own hardware and platform find them: varnoctl starts without
    // the monitor's identity and must read it first.
    server.requireQuery(QStringLiteral("/releases"), QUrlQuery(QStringLiteral("product=2.1&platform=DAV-180&version=newest")));

    QTemporaryDir device;
    QFile old(device.filePath(QStringLiteral("FW.BIN")));
    QVERIFY(old.open(QIODevice::WriteOnly) && old.write("old image") == 9);
    old.close();
    DevSimProcess sim;
    QVERIFY(sim.start({ QStringLiteral("--no-files"), QStringLiteral("--file"), old.fileName(),
                        QStringLiteral("--dump"), dump.path() }));
    const CtlRun run = runCtlServing(
        QStringList { "--port", sim.path(), "--server", server.url().toString() } + arguments, home.path());
    QVERIFY2(run.exitCode == exitCode, qPrintable(run.out + run.err));
    QVERIFY2(run.out.contains(output), qPrintable(run.out));
    sim.stop();

    QFile list(dump.filePath(QStringLiteral("filesystem.lst")));
    QVERIFY(list.open(QIODevice::ReadOnly));
    QMap<QString, int> attributes;
    const QStringList lines = QString::fromUtf8(list.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const QString &line : lines)
        attributes.insert(line.section(QLatin1Char(' '), 0, 0), line.section(QLatin1Char(' '), 2, 2).toInt());
    QCOMPARE(attributes.keys(), written ? QStringList({ "BOOT.EXC", "FW.BIN" }) : QStringList({ "FW.BIN" }));
    QCOMPARE(readFile(dump.filePath(QStringLiteral("FW.BIN"))), written ? image.content : QByteArray("old image"));
    if (written) {
        QCOMPARE(readFile(dump.filePath(QStringLiteral("BOOT.EXC"))), loader.content);
        QCOMPARE(attributes.value(QStringLiteral("FW.BIN")), 0x80);
        QCOMPARE(attributes.value(QStringLiteral("BOOT.EXC")), 0x04);
        // The stages went to stderr.
        QVERIFY2(run.err.contains(QStringLiteral("Writing Boot.Exc (2 of 2)")), qPrintable(run.err));
    }
}

QTEST_GUILESS_MAIN(TestVarnoctl)
#include "tst_varnoctl.moc"
