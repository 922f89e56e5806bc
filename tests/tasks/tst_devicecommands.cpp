// Every device command through Device::executeCommand against the simulator on a real pty.

#include "commandharness.h"

#include "link/communicator.h"
#include "link/framer.h"
#include "device/environmentstate.h"
#include "tasks/filedescriptor.h"
#include "tasks/taskmanager.h"
#include "tasks/taskscheduler.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>

namespace {

QVariantHash args(std::initializer_list<std::pair<const char *, QVariant>> list)
{
    QVariantHash hash;
    for (const auto &entry : list)
        hash.insert(QLatin1String(entry.first), entry.second);
    return hash;
}

QList<FileDescriptor> listOf(const TaskResult &result)
{
    QList<FileDescriptor> files;
    const QVariantList list = result.data().toList();
    for (const QVariant &v : list)
        files.append(v.value<FileDescriptor>());
    return files;
}

FileDescriptor findFile(const QList<FileDescriptor> &files, const QString &name)
{
    for (const FileDescriptor &f : files) {
        if (f.fileName() == name)
            return f;
    }
    return FileDescriptor();
}

QByteArray randomBytes(int size)
{
    QByteArray data(size, '\0');
    QRandomGenerator generator(size);
    for (int i = 0; i < size; ++i)
        data[i] = char(generator.bounded(256));
    return data;
}

bool writeFile(const QString &path, const QByteArray &data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestDeviceCommands : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void identity();
    void statePolling();
    void badStateSlowsPolling();
    void timedOutStateReadSlowsPolling();
    void environment();
    void calibrationWriteThenRead();
    void replyToAnotherCommandIsDropped();
    void passwordChange();
    void doseSetAndReset();
    void refusedPassword_data();
    void refusedPassword();
    void listFiles();
    void readLargeFile();
    void writeFileInTwoSteps();
    void removeFile();
    void silentDeviceTimesOutAndQueueGoesOn();
    void abortDiscardsQueue();
    void deadLinkAborts();
    void malformedReplies_data();
    void malformedReplies();
    void shortReadReplyWritesNothing();
    void zeroLengthReadSendsNothing();
    void overlongReplyFailsOnlyItsCommand();
    void removeWithoutFileSendsNothing_data();
    void removeWithoutFileSendsNothing();
    void thousandCommands();
    void unsendableRequestsAreRefused_data();
    void unsendableRequestsAreRefused();
    void handleFinishesOnceAfterTheCall();
};

void TestDeviceCommands::initTestCase()
{
    QMetaType::registerEqualsComparator<DeviceInfo>();
    QMetaType::registerEqualsComparator<DeviceState>();
}

void TestDeviceCommands::identity()
{
    CommandHarness h;
    QVERIFY2(h.start(), "simulator did not start");
    QSignalSpy updated(h.device(), &Device::dataUpdated);
    const TaskResult r = h.run(Device::ReadId);
    QCOMPARE(r.code(), int(TaskResult::Successful));
    QCOMPARE(r.name(), QStringLiteral("Read ID"));
    QCOMPARE(r.dataId(), 0);
    const DeviceInfo info = r.data().value<DeviceInfo>();
    QVERIFY(info.deviceId().contains(QLatin1String("DAV-180-R2")));
    QCOMPARE(info.firmwareVersion(), QStringLiteral("1.9"));
    QCOMPARE(info.hardwareVersion(), QStringLiteral("2.1"));
    QCOMPARE(info.serialNumber(), QStringLiteral("SN-000123"));
    QCOMPARE(info.guid(), QStringLiteral("{01234567-89ab-cdef-0123-456789abcdef}"));
    QTRY_VERIFY(updated.contains(QVariantList { 0 }));
    QCOMPARE(h.device()->data(0).value<DeviceInfo>(), info);
    h.device()->setDeviceInfo(info);
    QCOMPARE(h.device()->platform(), QStringLiteral("DAV-180"));
    QCOMPARE(h.device()->displayName(), QStringLiteral("VARNO Ormelin"));
}

void TestDeviceCommands::statePolling()
{
    CommandHarness h;
    QVERIFY(h.start({ QStringLiteral("--power-on-time"), QStringLiteral("500"), QStringLiteral("--battery"),
                      QStringLiteral("42"), QStringLiteral("--state-flags"), QStringLiteral("5") }));
    QSignalSpy changed(h.device(), &Device::stateChanged);
    h.device()->setPolling(true);
    QCOMPARE(h.device()->pollInterval(), int(Device::kPollIntervalMs));
    h.device()->setPolling(true); // a second call starts no second timer
    QTRY_VERIFY_WITH_TIMEOUT(changed.count() >= 2, 10000);
    const DeviceState state = h.device()->state();
    QVERIFY(!state.isEmpty());
    QCOMPARE(int(state.battery()), 42);
    QVERIFY(state.externalPower());
    QVERIFY(state.charging());
    QVERIFY(state.powerOnTime() >= 500);
    QCOMPARE(state.powerCycles(), quint64(17));
    QCOMPARE(state.counterLT(), quint64(4242));
    QVERIFY(h.device()->isPolling());
    QCOMPARE(h.device()->pollInterval(), int(Device::kPollIntervalMs));
    h.device()->setPolling(false);
    QVERIFY(!h.device()->isPolling());
}

void TestDeviceCommands::badStateSlowsPolling()
{
    CommandHarness h;
    QVERIFY(h.start({ QStringLiteral("--wrong-length"), QStringLiteral("0x03") }));
    QSignalSpy changed(h.device(), &Device::stateChanged);
    const int before = h.resultCount();
    h.device()->setPolling(true);
    QVERIFY(h.waitForResults(before + 1, 10000));
    QCOMPARE(h.result(before).code(), int(TaskResult::Error));
    QVERIFY(h.result(before).data().value<DeviceState>().isEmpty());
    QCOMPARE(h.device()->pollInterval(), int(Device::kBadStatePollIntervalMs));
    QVERIFY(h.device()->state().isEmpty());
    QCOMPARE(changed.count(), 0);
    QVERIFY(!h.device()->data(Device::ReadState).isValid());
}

void TestDeviceCommands::timedOutStateReadSlowsPolling()
{
    CommandHarness h;
    // The first reply comes later than the task's 2 s time-out; the ones after it in time.
    QVERIFY(h.start({ QStringLiteral("--reply-delay"), QStringLiteral("3000"), QStringLiteral("--delayed-replies"),
                      QStringLiteral("1") }));
    QSignalSpy changed(h.device(), &Device::stateChanged);
    const int before = h.resultCount();
    h.device()->setPolling(true);
    QVERIFY(h.waitForResults(before + 1, 10000));
    QCOMPARE(h.result(before).code(), int(TaskResult::TimedOut));
    QVERIFY(h.device()->isPolling());
    QCOMPARE(h.device()->pollInterval(), int(Device::kBadStatePollIntervalMs));
    // A good reply returns to the one-second schedule.
    h.device()->executeCommand(Device::ReadState, QVariant());
    QVERIFY(changed.wait(10000));
    QCOMPARE(h.device()->pollInterval(), int(Device::kPollIntervalMs));
}

void TestDeviceCommands::environment()
{
    CommandHarness h;
    QVERIFY(h.start({ QStringLiteral("--env-fixed"), QStringLiteral("--dose"), QStringLiteral("100000"),
                      QStringLiteral("--left"), QStringLiteral("-250") }));
    const TaskResult r = h.run(Device::ReadEnvironment);
    QCOMPARE(r.code(), int(TaskResult::Successful));
    QCOMPARE(r.dataId(), 32);
    const EnvironmentState env = r.data().value<EnvironmentState>();
    QCOMPARE(env.left, -250);
    QCOMPARE(env.right, 1300);
    QCOMPARE(env.dose, qint64(100000));
    QCOMPARE(EnvironmentState::display(env.dose), 1000.0);
    QCOMPARE(env.average, 525);
}

void TestDeviceCommands::calibrationWriteThenRead()
{
    CommandHarness h;
    QVERIFY(h.start());
    TaskResult r = h.run(Device::WriteCalibration,
                         args({ { "coefficient", 1.234 }, { "password", QStringLiteral("1234") } }));
    QCOMPARE(r.code(), int(TaskResult::Successful));
    QCOMPARE(r.data(), QVariant(true));
    r = h.run(Device::ReadCalibration);
    QCOMPARE(r.code(), int(TaskResult::Successful));
    QCOMPARE(r.dataId(), 48);
    QCOMPARE(r.data().toDouble(), 1.23);
    r = h.run(Device::WriteCalibration, args({ { "coefficient", QStringLiteral("1.5") }, { "password", QStringLiteral("1234") } }));
    QCOMPARE(r.data(), QVariant(true));
    QCOMPARE(h.run(Device::ReadCalibration).data().toDouble(), 1.5);
}

// The device may answer a command twice (it got it twice, or resent its reply after a late ACK):
// the extra reply must not be taken by the next task.
void TestDeviceCommands::replyToAnotherCommandIsDropped()
{
    CommandHarness h;
    QVERIFY(h.start({ QStringLiteral("--reply-delay"), QStringLiteral("500") }));
    QSignalSpy sent(h.device(), &Device::dataSent);
    const int before = h.resultCount();
    QVERIFY(h.device()->executeCommand(Device::ReadCalibration, QVariantHash()));
    QVERIFY(sent.wait(20000));
    // While the reply is delayed, a late copy of a state reply comes in.
    emit h.device()->userDataReceived(QByteArray::fromHex("03") + QByteArray(24, '\0'));
    QVERIFY(h.waitForResults(before + 1));
    const TaskResult r = h.result(before);
    QCOMPARE(r.code(), int(TaskResult::Successful));
    QCOMPARE(r.data().toDouble(), 1.0);
}

void TestDeviceCommands::passwordChange()
{
    CommandHarness h;
    QVERIFY(h.start());
    const QString newPassword = QStringLiteral("grün-42");
    TaskResult r = h.run(Device::ChangePassword,
                         args({ { "old_password", QStringLiteral("1234") }, { "new_password", newPassword } }));
    QCOMPARE(r.code(), int(TaskResult::Successful));
    QCOMPARE(r.name(), QStringLiteral("Check password"));
    QCOMPARE(r.data(), QVariant(true));

    r = h.run(Device::WriteCalibration, args({ { "coefficient", 2.0 }, { "password", QStringLiteral("1234") } }));
    QCOMPARE(r.code(), int(TaskResult::Successful));
    QCOMPARE(r.data(), QVariant(false));
    QCOMPARE(h.run(Device::ReadCalibration).data().toDouble(), 1.0);

    r = h.run(Device::WriteCalibration, args({ { "coefficient", 2.0 }, { "password", newPassword } }));
    QCOMPARE(r.data(), QVariant(true));
    QCOMPARE(h.run(Device::ReadCalibration).data().toDouble(), 2.0);
}

void TestDeviceCommands::doseSetAndReset()
{
    CommandHarness h;
    QVERIFY(h.start({ QStringLiteral("--env-fixed") }));
    TaskResult r = h.run(Device::SetAggregateDose,
                         args({ { "value", 12.5 }, { "time", 3600u }, { "password", QStringLiteral("1234") } }));
    QCOMPARE(r.code(), int(TaskResult::Successful));
    QCOMPARE(r.dataId(), 35);
    QCOMPARE(r.data(), QVariant(true));
    QCOMPARE(h.run(Device::ReadEnvironment).data().value<EnvironmentState>().dose, qint64(1250));

    r = h.run(Device::SetAggregateDose, args({ { "value", -1.255 }, { "time", 1u }, { "password", QStringLiteral("1234") } }));
    QCOMPARE(r.data(), QVariant(true));
    QCOMPARE(h.run(Device::ReadEnvironment).data().value<EnvironmentState>().dose, qint64(-125));

    r = h.run(Device::ResetAggregateDose, args({ { "password", QStringLiteral("1234") } }));
    QCOMPARE(r.code(), int(TaskResult::Successful));
    QCOMPARE(r.dataId(), 34);
    QCOMPARE(r.data(), QVariant(true));
    QCOMPARE(h.run(Device::ReadEnvironment).data().value<EnvironmentState>().dose, qint64(0));
}

void TestDeviceCommands::refusedPassword_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QVariantHash>("arguments");
    const QString pw = QStringLiteral("1234");
    QTest::newRow("reset") << int(Device::ResetAggregateDose) << args({ { "password", pw } });
    QTest::newRow("set dose") << int(Device::SetAggregateDose) << args({ { "value", 1.0 }, { "time", 1u }, { "password", pw } });
    QTest::newRow("calibration") << int(Device::WriteCalibration) << args({ { "coefficient", 1.0 }, { "password", pw } });
    QTest::newRow("password") << int(Device::ChangePassword) << args({ { "old_password", pw }, { "new_password", QStringLiteral("x") } });
}

void TestDeviceCommands::refusedPassword()
{
    QFETCH(int, code);
    QFETCH(QVariantHash, arguments);
    CommandHarness h;
    QVERIFY(h.start({ QStringLiteral("--refuse-passwords") }));
    const TaskResult r = h.run(code, arguments);
    QCOMPARE(r.code(), int(TaskResult::Successful));
    QCOMPARE(r.data(), QVariant(false));
}

void TestDeviceCommands::listFiles()
{
    CommandHarness h;
    QVERIFY(h.start());
    const TaskResult r = h.run(Device::ListFiles);
    QCOMPARE(r.code(), int(TaskResult::Successful));
    QCOMPARE(r.dataId(), 64);
    const QList<FileDescriptor> files = listOf(r);
    QCOMPARE(files.size(), 5);
    for (const FileDescriptor &f : files)
        QVERIFY2(f.isValid(), qPrintable(f.fileName()));
    QCOMPARE(findFile(files, QStringLiteral("MEASTIME.DAT")).size(), quint32(3 * 9));
    QCOMPARE(findFile(files, QStringLiteral("MEASURE.DAT")).size(), quint32(3 * 360 * 2));
    QCOMPARE(int(findFile(files, QStringLiteral("BOOT.EXC")).attributes()), 4);
}

void TestDeviceCommands::readLargeFile()
{
    QTemporaryDir source;
    QTemporaryDir target;
    const QByteArray data = randomBytes(1024 * 1024);
    QVERIFY(writeFile(source.filePath(QStringLiteral("BIG.BIN")), data));
    CommandHarness h;
    QVERIFY(h.start({ QStringLiteral("--file"), source.filePath(QStringLiteral("BIG.BIN")) }));
    const FileDescriptor big = findFile(listOf(h.run(Device::ListFiles)), QStringLiteral("BIG.BIN"));
    QVERIFY(big.isValid());
    QCOMPARE(big.size(), quint32(data.size()));
    QSignalSpy progress(TaskManager::instance()->scheduler(h.device()->name()), &TaskScheduler::progress);
    const TaskResult r = h.run(Device::ReadFile,
                               args({ { "file_descriptor", QVariant::fromValue(big) }, { "file_path", target.path() } }),
                               60000);
    QCOMPARE(r.code(), int(TaskResult::Successful));
    QCOMPARE(r.name(), QStringLiteral("Read File"));
    QCOMPARE(r.data().toString(), QStringLiteral("BIG.BIN"));
    QVERIFY(readFile(target.filePath(QStringLiteral("BIG.BIN"))) == data);
    QVERIFY(progress.count() > 2); // a non-silent task: its progress reaches the user
}

void TestDeviceCommands::writeFileInTwoSteps()
{
    QTemporaryDir source;
    QTemporaryDir dump;
    const QString localPath = source.filePath(QStringLiteral("upload.dat"));
    const QByteArray data = randomBytes(100 * 1024);
    QVERIFY(writeFile(localPath, data));
    CommandHarness h;
    QVERIFY(h.start({ QStringLiteral("--dump"), dump.path() }));
    const TaskResult r = h.run(Device::WriteFile,
                               args({ { "file_info", QVariant::fromValue(QFileInfo(localPath)) }, { "file_attributes", 6u } }),
                               60000);
    QCOMPARE(r.code(), int(TaskResult::Successful));
    QCOMPARE(r.name(), QStringLiteral("Write file"));
    QCOMPARE(r.dataId(), 66);
    QCOMPARE(r.data(), QVariant(true));
    const FileDescriptor written = findFile(listOf(h.run(Device::ListFiles)), QStringLiteral("UPLOAD.DAT"));
    QVERIFY(written.isValid());
    QCOMPARE(written.size(), quint32(data.size()));
    QCOMPARE(int(written.attributes()), 6);
    h.stop();
    QVERIFY(readFile(dump.filePath(QStringLiteral("UPLOAD.DAT"))) == data);
    QVERIFY(readFile(dump.filePath(QStringLiteral("filesystem.lst"))).contains("UPLOAD.DAT 102400 6 "));
}

void TestDeviceCommands::removeFile()
{
    CommandHarness h;
    QVERIFY(h.start());
    const FileDescriptor readme = findFile(listOf(h.run(Device::ListFiles)), QStringLiteral("README.TXT"));
    QVERIFY(readme.isValid());
    TaskResult r = h.run(Device::RemoveFile, args({ { "file_descriptor", QVariant::fromValue(readme) } }));
    QCOMPARE(r.code(), int(TaskResult::Successful));
    QCOMPARE(r.dataId(), 67);
    QCOMPARE(r.data().toString(), QStringLiteral("README.TXT"));
    const QList<FileDescriptor> after = listOf(h.run(Device::ListFiles));
    QCOMPARE(after.size(), 4);
    QVERIFY(!findFile(after, QStringLiteral("README.TXT")).isValid());
    // Removing it again: the device answers with no handle, the file name still comes back.
    r = h.run(Device::RemoveFile, args({ { "file_descriptor", QVariant::fromValue(readme) } }));
    QCOMPARE(r.code(), int(TaskResult::Error));
    QCOMPARE(r.data().toString(), QStringLiteral("README.TXT"));
}

void TestDeviceCommands::silentDeviceTimesOutAndQueueGoesOn()
{
    CommandHarness h;
    QVERIFY(h.start({ QStringLiteral("--reply-delay"), QStringLiteral("2500") }));
    const int before = h.resultCount();
    QVERIFY(h.device()->executeCommand(Device::ReadId, QVariant()));
    QVERIFY(h.device()->executeCommand(Device::ReadCalibration, QVariant()));
    QVERIFY(h.waitForResults(before + 2, 15000));
    QCOMPARE(h.result(before).code(), int(TaskResult::TimedOut));
    QCOMPARE(h.result(before).dataId(), 0);
    QVERIFY(!h.result(before).data().isValid());
    // The second task ran: it either met the late identity reply (wrong, code 1) or timed out
    // itself; it did not stay queued.
    QCOMPARE(h.result(before + 1).dataId(), 48);
}

void TestDeviceCommands::abortDiscardsQueue()
{
    CommandHarness h;
    QVERIFY(h.start({ QStringLiteral("--abort-after"), QStringLiteral("1") }));
    QSignalSpy dead(h.device(), &Device::dead);
    const int before = h.resultCount();
    QVERIFY(h.device()->executeCommand(Device::ReadState, QVariant()));
    QVERIFY(h.device()->executeCommand(Device::ReadId, QVariant()));
    QVERIFY(h.device()->executeCommand(Device::ReadCalibration, QVariant()));
    QVERIFY(h.device()->executeCommand(Device::ListFiles, QVariant()));
    QTRY_COMPARE_WITH_TIMEOUT(dead.count(), 1, 10000);
    QCOMPARE(h.resultCount(), before + 1);
    QCOMPARE(h.result(before).code(), int(TaskResult::Aborted));
    QVERIFY(!h.result(before).data().isValid());
    QVERIFY(TaskManager::instance()->scheduler(h.device()->name())->isClosed());
    QCOMPARE(TaskManager::instance()->scheduler(h.device()->name())->queuedCount(), 0);
    QVERIFY(!h.device()->executeCommand(Device::ReadId, QVariant()));
    QTest::qWait(0);
    QCOMPARE(h.resultCount(), before + 1);
}

void TestDeviceCommands::deadLinkAborts()
{
    CommandHarness h;
    QVERIFY(h.start());
    QSignalSpy dead(h.device(), &Device::dead);
    h.sim().process().kill();
    h.sim().process().waitForFinished(5000);
    const int before = h.resultCount();
    // The list's 5 s time-out outlasts the link's 2.4 s of retries.
    QVERIFY(h.device()->executeCommand(Device::ListFiles, QVariant()));
    QVERIFY(h.device()->executeCommand(Device::ReadState, QVariant()));
    QVERIFY(h.device()->executeCommand(Device::ReadId, QVariant()));
    QTRY_COMPARE_WITH_TIMEOUT(dead.count(), 1, 10000);
    QCOMPARE(h.resultCount(), before + 1);
    QCOMPARE(h.result(before).code(), int(TaskResult::Aborted));
}

void TestDeviceCommands::malformedReplies_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("by");
    QTest::addColumn<QVariantHash>("arguments");
    QTest::addColumn<int>("expected");
    QTest::addColumn<QVariant>("data");
    const QVariantHash pw = args({ { "password", QStringLiteral("1234") } });
    QTest::newRow("identity short") << 0x00 << -22 << QVariantHash() << 1 << QVariant::fromValue(DeviceInfo());
    QTest::newRow("identity longer") << 0x00 << 5 << QVariantHash() << 0 << QVariant();
    QTest::newRow("state short") << 0x03 << -1 << QVariantHash() << 1 << QVariant::fromValue(DeviceState());
    QTest::newRow("state long") << 0x03 << 1 << QVariantHash() << 1 << QVariant::fromValue(DeviceState());
    QTest::newRow("environment short") << 0x20 << -1 << QVariantHash() << 1 << QVariant();
    QTest::newRow("environment long") << 0x20 << 4 << QVariantHash() << 1 << QVariant();
    QTest::newRow("calibration read long") << 0x30 << 1 << QVariantHash() << 1 << QVariant();
    QTest::newRow("calibration write long") << 0x31 << 1 << args({ { "coefficient", 1.0 }, { "password", QStringLiteral("1234") } }) << 1 << QVariant(false);
    QTest::newRow("reset short") << 0x22 << -1 << pw << 1 << QVariant();
    QTest::newRow("set dose long") << 0x23 << 2 << args({ { "value", 1.0 }, { "time", 1u }, { "password", QStringLiteral("1234") } }) << 1 << QVariant(false);
    QTest::newRow("password short") << 0x32 << -1 << args({ { "old_password", QStringLiteral("1234") }, { "new_password", QStringLiteral("1") } }) << 1 << QVariant(false);
}

void TestDeviceCommands::malformedReplies()
{
    QFETCH(int, code);
    QFETCH(int, by);
    QFETCH(QVariantHash, arguments);
    QFETCH(int, expected);
    QFETCH(QVariant, data);
    CommandHarness h;
    QVERIFY(h.start({ QStringLiteral("--wrong-length"), QString::number(code), QStringLiteral("--wrong-length-by"),
                      QString::number(by) }));
    const TaskResult r = h.run(code, arguments);
    QCOMPARE(r.code(), expected);
    QCOMPARE(r.dataId(), code);
    if (expected != 0)
        QCOMPARE(r.data(), data);
    QVERIFY(h.device()->data(code).isValid() == (expected == 0));
}

void TestDeviceCommands::shortReadReplyWritesNothing()
{
    QTemporaryDir target;
    CommandHarness h;
    QVERIFY(h.start({ QStringLiteral("--wrong-length"), QStringLiteral("0x41") }));
    const FileDescriptor measure = findFile(listOf(h.run(Device::ListFiles)), QStringLiteral("MEASURE.DAT"));
    QVERIFY(measure.isValid());
    const TaskResult r = h.run(Device::ReadFile,
                               args({ { "file_descriptor", QVariant::fromValue(measure) }, { "file_path", target.path() } }));
    QCOMPARE(r.code(), int(TaskResult::Error));
    QVERIFY(QDir(target.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

void TestDeviceCommands::overlongReplyFailsOnlyItsCommand()
{
    QTemporaryDir target;
    CommandHarness h;
    QVERIFY(h.start());
    const FileDescriptor measure = findFile(listOf(h.run(Device::ListFiles)), QStringLiteral("MEASURE.DAT"));
    QVERIFY(measure.size() > 200);
    h.device()->communicator()->framer()->SetMaxMessageBytes(200);
    QSignalSpy dead(h.device(), &Device::dead);
    const TaskResult r = h.run(Device::ReadFile,
                               args({ { "file_descriptor", QVariant::fromValue(measure) }, { "file_path", target.path() } }));
    QCOMPARE(r.code(), int(TaskResult::Error));
    QVERIFY(QDir(target.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
    // The device is still there and answers the next command.
    QCOMPARE(h.run(Device::ReadCalibration).code(), int(TaskResult::Successful));
    QCOMPARE(dead.count(), 0);
}

void TestDeviceCommands::removeWithoutFileSendsNothing_data()
{
    QTest::addColumn<QVariantHash>("arguments");
    QTest::newRow("no descriptor") << QVariantHash();
    QTest::newRow("invalid descriptor") << args({ { "file_descriptor", QVariant::fromValue(FileDescriptor()) } });
}

void TestDeviceCommands::removeWithoutFileSendsNothing()
{
    QFETCH(QVariantHash, arguments);
    CommandHarness h;
    QVERIFY(h.start());
    QSignalSpy sent(h.device(), &Device::dataSent);
    const TaskResult r = h.run(Device::RemoveFile, arguments);
    QCOMPARE(r.code(), int(TaskResult::Refused));
    QCOMPARE(sent.count(), 0);
    QVERIFY(!h.device()->data(Device::RemoveFile).isValid());
}

void TestDeviceCommands::zeroLengthReadSendsNothing()
{
    QTemporaryDir source;
    QTemporaryDir target;
    QVERIFY(writeFile(source.filePath(QStringLiteral("EMPTY.BIN")), QByteArray()));
    CommandHarness h;
    QVERIFY(h.start({ QStringLiteral("--file"), source.filePath(QStringLiteral("EMPTY.BIN")) }));
    const FileDescriptor empty = findFile(listOf(h.run(Device::ListFiles)), QStringLiteral("EMPTY.BIN"));
    QVERIFY(empty.isValid());
    QCOMPARE(empty.size(), 0u);
    QSignalSpy sent(h.device(), &Device::dataSent);
    // Decided: nothing to fetch, so the read succeeds at once with an empty local copy.
    const TaskResult r = h.run(Device::ReadFile,
                               args({ { "file_descriptor", QVariant::fromValue(empty) }, { "file_path", target.path() } }));
    QCOMPARE(r.code(), int(TaskResult::Successful));
    QCOMPARE(r.data().toString(), QStringLiteral("EMPTY.BIN"));
    QCOMPARE(sent.count(), 0);
    QFileInfo copy(target.filePath(QStringLiteral("EMPTY.BIN")));
    QVERIFY(copy.exists());
    QCOMPARE(copy.size(), 0);
}

void TestDeviceCommands::thousandCommands()
{
    // Also the run to watch under valgrind or LeakSanitizer: every task is freed after its result.
    CommandHarness h;
    QVERIFY(h.start());
    const int before = h.resultCount();
    const int codes[] = { Device::ReadState, Device::ReadCalibration, Device::ReadEnvironment, Device::ReadId };
    for (int i = 0; i < 1000; ++i)
        QVERIFY(h.device()->executeCommand(codes[i % 4], QVariant()));
    QVERIFY(h.waitForResults(before + 1000, 120000));
    for (int i = 0; i < 1000; ++i) {
        const TaskResult r = h.result(before + i);
        QCOMPARE(r.dataId(), codes[i % 4]);
        QCOMPARE(r.code(), int(TaskResult::Successful));
    }
}

void TestDeviceCommands::unsendableRequestsAreRefused_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QVariantHash>("arguments");
    QTest::addColumn<QString>("message"); // what the refusal must name
    const QString tooLong(256, QLatin1Char('p'));
    const QString pw = QStringLiteral("1234");
    QTest::newRow("coefficient beyond 16 bits") << int(Device::WriteCalibration)
        << args({ { "coefficient", 1000.0 }, { "password", pw } }) << "0.00 to 655.35";
    QTest::newRow("coefficient not a number") << int(Device::WriteCalibration)
        << args({ { "coefficient", QStringLiteral("abc") }, { "password", pw } }) << "0.00 to 655.35";
    QTest::newRow("calibration password of 256 bytes") << int(Device::WriteCalibration)
        << args({ { "coefficient", 1.0 }, { "password", tooLong } }) << "0 to 255 bytes";
    QTest::newRow("password of 256 bytes") << int(Device::ResetAggregateDose)
        << args({ { "password", tooLong } }) << "0 to 255 bytes";
    QTest::newRow("new password of 256 bytes") << int(Device::ChangePassword)
        << args({ { "old_password", pw }, { "new_password", tooLong } }) << "256 bytes long";
    QTest::newRow("dose beyond 64 bits") << int(Device::SetAggregateDose)
        << args({ { "value", 1e20 }, { "time", 1u }, { "password", pw } }) << "92233720368547758.07";
    QTest::newRow("dose not finite") << int(Device::SetAggregateDose)
        << args({ { "value", qInf() }, { "time", 1u }, { "password", pw } }) << "-92233720368547758.08";
    QTest::newRow("missing local file") << int(Device::WriteFile)
        << args({ { "file_info", QVariant::fromValue(QFileInfo(QStringLiteral("/nonexistent/x.bin"))) } })
        << "cannot read";
}

void TestDeviceCommands::unsendableRequestsAreRefused()
{
    QFETCH(int, code);
    QFETCH(QVariantHash, arguments);
    QFETCH(QString, message);
    CommandHarness h;
    QVERIFY(h.start());
    QSignalSpy sent(h.device(), &Device::dataSent);
    const TaskResult r = h.run(code, arguments);
    QCOMPARE(r.code(), int(TaskResult::Refused));
    QCOMPARE(r.data(), QVariant(false));
    QVERIFY2(r.message().contains(message), qPrintable(r.message()));
    QCOMPARE(sent.count(), 0);
    // The device is untouched and the queue goes on.
    QCOMPARE(h.run(Device::ReadCalibration).data().toDouble(), 1.0);
    QCOMPARE(h.run(Device::WriteCalibration, args({ { "coefficient", 1.0 }, { "password", QStringLiteral("1234") } })).data(),
             QVariant(true));
}

// The handle is handed back before anything can finish, even a command refused on the spot; a
// command canceled before it ran never reaches the device.
void TestDeviceCommands::handleFinishesOnceAfterTheCall()
{
    CommandHarness h;
    QVERIFY(h.start());
    CommandHandle *refused = h.device()->executeCommand(Device::WriteCalibration, args({ { "coefficient", 900.0 } }));
    QVERIFY(refused);
    QVERIFY(!refused->isFinished());
    QSignalSpy refusedDone(refused, &CommandHandle::finished);
    CommandHandle *canceled = h.device()->executeCommand(Device::ReadCalibration);
    QSignalSpy canceledDone(canceled, &CommandHandle::finished);
    QSignalSpy sent(h.device(), &Device::dataSent);
    canceled->cancel();
    QVERIFY(refusedDone.wait(5000));
    QTRY_COMPARE(canceledDone.count(), 1);
    QCOMPARE(qvariant_cast<TaskResult>(refusedDone.at(0).at(0)).code(), int(TaskResult::Refused));
    QCOMPARE(qvariant_cast<TaskResult>(canceledDone.at(0).at(0)).code(), int(TaskResult::Canceled));
    QCOMPARE(sent.count(), 0);
    QVERIFY(!h.device()->executeCommand(0x99));
}

QTEST_GUILESS_MAIN(TestDeviceCommands)
#include "tst_devicecommands.moc"
