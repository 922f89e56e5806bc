// The change journal against the simulator: one line per change command, with the old and new
// value or the file, and the outcome, however the command ends. Never the password.

#include "device/changejournal.h"
#include "device/commandhandle.h"
#include "device/device.h"
#include "tasks/filedescriptor.h"
#include "tests/common/devsimprocess.h"

#include <QCryptographicHash>
#include <QFile>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

class TestChangeJournal : public QObject
{
    Q_OBJECT

private slots:
    void journal_data();
    void journal();
    void readAndFilter();

private:
    TaskResult run(Device &device, int code, const QVariantHash &args = {});
};

TaskResult TestChangeJournal::run(Device &device, int code, const QVariantHash &args)
{
    CommandHandle *handle = device.executeCommand(code, args);
    if (!handle)
        return TaskResult();
    QSignalSpy finished(handle, &CommandHandle::finished);
    if (!finished.wait(15000))
        return TaskResult();
    return finished.first().first().value<TaskResult>();
}

void TestChangeJournal::journal_data()
{
    QTest::addColumn<QStringList>("simArguments");
    QTest::addColumn<int>("code");
    QTest::addColumn<QVariantHash>("args"); // "@file": the local file to write, "@remove": a device file
    QTest::addColumn<QString>("expected"); // what|old|new|result

    const QString ok = QStringLiteral("1234");
    QTest::newRow("calibration written") << QStringList { "--calibration", "95" } << int(Device::WriteCalibration)
        << QVariantHash { { "coefficient", 1.07 }, { "password", ok } } << "calibration|0.95|1.07|accepted";
    // The field carries up to 655.35; hundredths beyond the second are dropped, as on the wire.
    QTest::newRow("calibration above 327.67") << QStringList { "--calibration", "95" } << int(Device::WriteCalibration)
        << QVariantHash { { "coefficient", 400.009 }, { "password", ok } } << "calibration|0.95|400|accepted";
    QTest::newRow("calibration, wrong password") << QStringList { "--calibration", "95" } << int(Device::WriteCalibration)
        << QVariantHash { { "coefficient", 1.07 }, { "password", "nope" } } << "calibration|0.95|1.07|refused";
    QTest::newRow("calibration out of range, never sent") << QStringList() << int(Device::WriteCalibration)
        << QVariantHash { { "coefficient", 1000.0 }, { "password", ok } } << "calibration|1|1000|refused";
    QTest::newRow("dose set") << QStringList { "--dose", "2550" } << int(Device::SetAggregateDose)
        << QVariantHash { { "value", 12.5 }, { "time", 60u }, { "password", ok } } << "dose set|25.5|12.5|accepted";
    QTest::newRow("dose reset") << QStringList { "--dose", "2550" } << int(Device::ResetAggregateDose)
        << QVariantHash { { "password", ok } } << "dose reset|25.5|0|accepted";
    QTest::newRow("password") << QStringList() << int(Device::ChangePassword)
        << QVariantHash { { "old_password", ok }, { "new_password", "s3cret" } } << "password|||accepted";
    QTest::newRow("file written") << QStringList() << int(Device::WriteFile)
        << QVariantHash { { "file_info", "@file" } } << "file written|||accepted";
    QTest::newRow("file refused by the device") << QStringList { "--refuse-file", "FIRM.BIN" } << int(Device::WriteFile)
        << QVariantHash { { "file_info", "@file" } } << "file written|||failed";
    QTest::newRow("file removed") << QStringList() << int(Device::RemoveFile)
        << QVariantHash { { "file_descriptor", "@remove" } } << "file removed|||accepted";
    QTest::newRow("silent device") << QStringList { "--silent" } << int(Device::ChangePassword)
        << QVariantHash { { "old_password", ok }, { "new_password", "x" } } << "password|||failed";
}

void TestChangeJournal::journal()
{
    QFETCH(QStringList, simArguments);
    QFETCH(int, code);
    QFETCH(QVariantHash, args);
    QFETCH(QString, expected);
    QTemporaryDir folder;
    const QString journalPath = folder.filePath(QStringLiteral("data/journal.jsonl"));
    ChangeJournal::instance()->setPath(journalPath);
    DevSimProcess sim;
    QVERIFY(sim.start(simArguments + QStringList { "--serial", "SN-42" }));
    Device device(sim.path());
    const bool silent = simArguments.contains(QStringLiteral("--silent"));
    if (!silent) {
        const TaskResult id = run(device, Device::ReadId);
        device.setDeviceInfo(id.data().value<DeviceInfo>());
        // The old values are those the device reported before the change.
        QCOMPARE(run(device, Device::ReadCalibration).code(), int(TaskResult::Successful));
        QCOMPARE(run(device, Device::ReadEnvironment).code(), int(TaskResult::Successful));
    }

    QByteArray content;
    QString fileName;
    qint64 fileSize = -1;
    if (args.value(QStringLiteral("file_info")) == QLatin1String("@file")) {
        const QString path = folder.filePath(QStringLiteral("firm.bin"));
        content = QByteArray(300, 'f');
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
        file.close();
        args.insert(QStringLiteral("file_info"), QVariant::fromValue(QFileInfo(path)));
        fileName = QStringLiteral("FIRM.BIN");
        fileSize = content.size();
    }
    if (args.value(QStringLiteral("file_descriptor")) == QLatin1String("@remove")) {
        const QVariantList files = run(device, Device::ListFiles).data().toList();
        QVERIFY(!files.isEmpty());
        const FileDescriptor file = files.last().value<FileDescriptor>();
        args.insert(QStringLiteral("file_descriptor"), QVariant::fromValue(file));
        fileName = file.fileName();
        fileSize = file.size();
    }
    run(device, code, args);

    QFile journal(journalPath);
    QVERIFY(journal.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = journal.readAll().split('\n');
    QCOMPARE(lines.size(), 2); // one line and the final line break
    QVERIFY2(!lines.first().contains("s3cret") && !lines.first().contains("1234"), lines.first().constData());
    const QJsonObject entry = QJsonDocument::fromJson(lines.first()).object();
    const auto number = [&entry](const char *key) {
        const QJsonValue v = entry.value(QLatin1String(key));
        return v.isDouble() ? QString::number(v.toDouble()) : QString();
    };
    QCOMPARE(QStringList({ entry.value(QStringLiteral("what")).toString(), number("old"), number("new"),
                           entry.value(QStringLiteral("result")).toString() })
                 .join(QLatin1Char('|')),
             expected);
    QVERIFY(entry.value(QStringLiteral("time")).toString().endsWith(QLatin1Char('Z')));
    QCOMPARE(entry.value(QStringLiteral("program_version")).toString(), QStringLiteral(VARNO_VERSION));
    QCOMPARE(entry.value(QStringLiteral("serial")).toString(), silent ? QString() : QStringLiteral("SN-42"));
    QCOMPARE(entry.contains(QStringLiteral("error")), !expected.endsWith(QLatin1String("accepted")));
    // What the device holds now is the old value of the next change.
    if (code == Device::WriteCalibration && expected.endsWith(QLatin1String("accepted")))
        QCOMPARE(QString::number(device.data(Device::ReadCalibration).toDouble()), number("new"));
    if (!fileName.isEmpty()) {
        QCOMPARE(entry.value(QStringLiteral("file")).toString(), fileName);
        QCOMPARE(qint64(entry.value(QStringLiteral("size")).toDouble()), fileSize);
        const QString sha = content.isEmpty()
            ? QString()
            : QString::fromLatin1(QCryptographicHash::hash(content, QCryptographicHash::Sha256).toHex());
        QCOMPARE(entry.value(QStringLiteral("sha256")).toString(), sha);
    }
}

void TestChangeJournal::readAndFilter()
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("journal.jsonl"));
    QList<QJsonObject> entries;
    QVERIFY(ChangeJournal::read(path, QString(), &entries)); // no journal yet: empty
    QVERIFY(entries.isEmpty());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("{\"serial\":\"A\",\"what\":\"password\",\"result\":\"accepted\"}\n"
               "not json, a line cut short by a crash\n"
               "{\"serial\":\"B\",\"what\":\"dose reset\",\"old\":3.5,\"new\":0,\"result\":\"refused\","
               "\"error\":\"refused by the device\"}\n");
    file.close();
    QVERIFY(ChangeJournal::read(path, QString(), &entries));
    QCOMPARE(entries.size(), 2);
    QVERIFY(ChangeJournal::read(path, QStringLiteral("B"), &entries));
    QCOMPARE(entries.size(), 1);
    QCOMPARE(ChangeJournal::format(entries.first()),
             QStringLiteral("  B  dose reset  3.50 -> 0.00  refused (refused by the device)"));
}

QTEST_GUILESS_MAIN(TestChangeJournal)
#include "tst_changejournal.moc"
