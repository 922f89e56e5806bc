// Task life cycle, scheduling, request layouts and reply decoding of every command task.

#include "device/devicestate.h"
#include "device/environmentstate.h"
#include "tasks/changepasswordtask.h"
#include "tasks/filedescriptor.h"
#include "tasks/filereadtask.h"
#include "tasks/fileremovetask.h"
#include "tasks/fileslisttask.h"
#include "tasks/filewritetask.h"
#include "tasks/readcalibrationtask.h"
#include "tasks/readenvironmentstatetask.h"
#include "tasks/readidtask.h"
#include "tasks/readstatetask.h"
#include "tasks/resetaggregatedosetask.h"
#include "tasks/setaggregatedosetask.h"
#include "tasks/taskscheduler.h"
#include "tasks/writecalibrationtask.h"

#include <QDir>
#include <QPointer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

// A task driven by hand: start() arms it or, when told, finishes it at once.
class ManualTask : public Task
{
public:
    ManualTask(const QString &name, int timeoutMs, QStringList *log = nullptr, bool finishAtStart = false)
        : Task(name, nullptr, timeoutMs)
        , m_log(log)
        , m_finishAtStart(finishAtStart)
    {
    }
    bool start() override
    {
        if (m_log)
            m_log->append(QStringLiteral("start ") + name());
        if (m_finishAtStart) {
            finish(TaskResult::Successful, 1);
            return true;
        }
        setStatus(Running);
        requestTimeout();
        return true;
    }
    void finish(int code, const QVariant &value)
    {
        setResultData(value);
        setResultCode(code);
        setStatus(Finished);
    }
    void progress(const QString &text, int percent) { reportProgress(text, percent); }
    void quiet(bool on) { setSilent(on); }
    void retime(int ms) { setTimeout(ms); }
    void arm() { requestTimeout(); }
    void rearm() { restartTimer(); }

private:
    QStringList *m_log;
    bool m_finishAtStart;
};

FileDescriptor descriptor(const QByteArray &name, const QByteArray &ext, quint32 size, quint32 handle = 7,
                          quint8 attributes = 0)
{
    return FileDescriptor::make(name, ext, size, attributes, handle);
}

TaskResult resultAt(const QSignalSpy &spy, int i)
{
    return qvariant_cast<TaskResult>(spy.at(i).at(0));
}

} // namespace

class TestTasks : public QObject
{
    Q_OBJECT

private slots:
    void freshTask();
    void cancelFinishesOnce();
    void watchdog();
    void watchdogRearming();
    void nullDeviceStaysIdle();
    void schedulerRunsInOrder();
    void schedulerStartsNextAfterImmediateFinish();
    void abortClosesScheduler();
    void closedSchedulerReleasesRefusedTask();
    void clearCancelsCurrent();
    void silentProgressStaysInside();
    void commandTable_data();
    void commandTable();
    void removeTimeout_data();
    void removeTimeout();
    void requests_data();
    void requests();
    void createRecord_data();
    void createRecord();
    void replies_data();
    void replies();
    void listReply_data();
    void listReply();
    void readRefusesUnsafeNames_data();
    void readRefusesUnsafeNames();
    void readSavesWholeFile();
    void writeCreateReplies_data();
    void writeCreateReplies();
    void fileDescriptor_data();
    void fileDescriptor();
    void findInListing_data();
    void findInListing();
};

void TestTasks::freshTask()
{
    ManualTask task(QStringLiteral("t"), 1000);
    QCOMPARE(task.dataId(), -1);
    QVERIFY(task.isSilent());
    QCOMPARE(task.status(), int(Task::Idle));
    QVERIFY(!task.resultData().isValid());
}

void TestTasks::cancelFinishesOnce()
{
    ManualTask task(QStringLiteral("Read ID"), 1000);
    QSignalSpy complete(&task, &Task::Complete);
    task.start();
    QVERIFY(task.isWatchdogActive());
    task.cancel();
    QCOMPARE(complete.count(), 1);
    QCOMPARE(task.resultCode(), int(TaskResult::Canceled));
    QVERIFY(!task.resultData().isValid());
    QVERIFY(!task.isWatchdogActive());
    QCOMPARE(task.result().name(), QStringLiteral("Read ID"));
    task.cancel();
    task.finish(TaskResult::Successful, 1);
    QCOMPARE(complete.count(), 1);
    QCOMPARE(task.resultCode(), int(TaskResult::Canceled));
}

void TestTasks::watchdog()
{
    ManualTask task(QStringLiteral("t"), 20);
    QSignalSpy complete(&task, &Task::Complete);
    task.start();
    QVERIFY(complete.wait(5000));
    QCOMPARE(task.resultCode(), int(TaskResult::TimedOut));
    QCOMPARE(task.status(), int(Task::Finished));
    task.finish(TaskResult::Successful, 1);
    QCOMPARE(complete.count(), 1);
    QCOMPARE(task.resultCode(), int(TaskResult::TimedOut));
}

void TestTasks::watchdogRearming()
{
    ManualTask task(QStringLiteral("t"), 100000);
    task.start();
    // Coarse timers may stretch an interval by 5 %: compare with wide margins.
    task.retime(200000);
    QVERIFY(task.watchdogRemaining() > 150000); // setTimeout restarts a running watchdog
    task.retime(50000);
    QVERIFY(task.watchdogRemaining() < 150000);
    task.arm(); // a running watchdog keeps its time
    QVERIFY(task.watchdogRemaining() < 150000);
    task.rearm();
    QVERIFY(task.isWatchdogActive());
    task.cancel();
    QVERIFY(!task.isWatchdogActive());
}

void TestTasks::nullDeviceStaysIdle()
{
    ReadIDTask task(nullptr);
    QVERIFY(!task.start());
    QCOMPARE(task.status(), int(Task::Idle));
}

void TestTasks::schedulerRunsInOrder()
{
    TaskScheduler scheduler(QStringLiteral("/dev/a"));
    TaskScheduler other(QStringLiteral("/dev/b"));
    QSignalSpy results(&scheduler, &TaskScheduler::taskComplete);
    QStringList log;
    auto *first = new ManualTask(QStringLiteral("first"), 100000, &log);
    auto *second = new ManualTask(QStringLiteral("second"), 100000, &log);
    auto *elsewhere = new ManualTask(QStringLiteral("elsewhere"), 100000, &log);
    scheduler.addTask(first);
    scheduler.addTask(second);
    other.addTask(elsewhere);
    QCOMPARE(log, (QStringList { "start first", "start elsewhere" }));
    first->finish(TaskResult::Error, 1);
    QCOMPARE(log.last(), QStringLiteral("start second"));
    second->finish(TaskResult::Successful, 2);
    QCOMPARE(results.count(), 2);
    QCOMPARE(resultAt(results, 0).name(), QStringLiteral("first"));
    QCOMPARE(resultAt(results, 0).code(), int(TaskResult::Error));
    QCOMPARE(resultAt(results, 1).name(), QStringLiteral("second"));
    QCOMPARE(resultAt(results, 1).data(), QVariant(2));
}

void TestTasks::schedulerStartsNextAfterImmediateFinish()
{
    TaskScheduler scheduler(QStringLiteral("/dev/a"));
    QSignalSpy results(&scheduler, &TaskScheduler::taskComplete);
    QStringList log;
    auto *blocker = new ManualTask(QStringLiteral("blocker"), 100000, &log);
    scheduler.addTask(blocker);
    scheduler.addTask(new ManualTask(QStringLiteral("instant"), 100000, &log, true));
    scheduler.addTask(new ManualTask(QStringLiteral("after"), 100000, &log));
    blocker->finish(TaskResult::Successful, 0);
    QCOMPARE(log, (QStringList { "start blocker", "start instant", "start after" }));
    QCOMPARE(results.count(), 2);
    QPointer<Task> finished(blocker);
    QTRY_VERIFY(finished.isNull()); // the scheduler owns and destroys finished tasks
}

void TestTasks::abortClosesScheduler()
{
    TaskScheduler scheduler(QStringLiteral("/dev/a"));
    QSignalSpy results(&scheduler, &TaskScheduler::taskComplete);
    auto *running = new ManualTask(QStringLiteral("running"), 100000);
    QList<QPointer<Task>> queued;
    scheduler.addTask(running);
    for (int i = 0; i < 3; ++i) {
        auto *task = new ManualTask(QStringLiteral("queued"), 100000);
        queued.append(task);
        scheduler.addTask(task);
    }
    running->finish(TaskResult::Aborted, QVariant());
    QCOMPARE(results.count(), 1);
    QCOMPARE(resultAt(results, 0).code(), int(TaskResult::Aborted));
    QVERIFY(scheduler.isClosed());
    for (const QPointer<Task> &task : qAsConst(queued))
        QVERIFY(task.isNull());
    QVERIFY(!scheduler.addTask(new ManualTask(QStringLiteral("late"), 100000)));
    QCOMPARE(results.count(), 1);
}

void TestTasks::closedSchedulerReleasesRefusedTask()
{
    TaskScheduler scheduler(QStringLiteral("/dev/a"));
    auto *running = new ManualTask(QStringLiteral("running"), 100000);
    scheduler.addTask(running);
    running->finish(TaskResult::Aborted, QVariant());
    QPointer<Task> refused(new ManualTask(QStringLiteral("refused"), 100000));
    QVERIFY(!scheduler.addTask(refused));
    QVERIFY(refused.isNull()); // nobody else would ever free it
}

void TestTasks::clearCancelsCurrent()
{
    auto scheduler = std::make_unique<TaskScheduler>(QStringLiteral("/dev/a"));
    QSignalSpy results(scheduler.get(), &TaskScheduler::taskComplete);
    QPointer<Task> running(new ManualTask(QStringLiteral("running"), 100000));
    QPointer<Task> queued(new ManualTask(QStringLiteral("queued"), 100000));
    scheduler->addTask(running);
    scheduler->addTask(queued);
    scheduler->clear(true);
    QCOMPARE(results.count(), 1);
    QCOMPARE(resultAt(results, 0).code(), int(TaskResult::Canceled));
    QVERIFY(queued.isNull());
    QVERIFY(!scheduler->current());
    scheduler.reset();
    QVERIFY(running.isNull());
}

void TestTasks::silentProgressStaysInside()
{
    TaskScheduler scheduler(QStringLiteral("/dev/a"));
    QSignalSpy progress(&scheduler, &TaskScheduler::progress);
    auto *silent = new ManualTask(QStringLiteral("silent"), 100000);
    auto *loud = new ManualTask(QStringLiteral("loud"), 100000);
    loud->quiet(false);
    scheduler.addTask(silent);
    scheduler.addTask(loud);
    silent->progress(QStringLiteral("hidden"), 10);
    silent->finish(TaskResult::Successful, 0);
    loud->progress(QStringLiteral("shown"), 50);
    QCOMPARE(progress.count(), 1);
    QCOMPARE(progress.at(0).at(0).toString(), QStringLiteral("shown"));
    QCOMPARE(progress.at(0).at(1).toInt(), 50);
    loud->finish(TaskResult::Successful, 0);
}

void TestTasks::commandTable_data()
{
    QTest::addColumn<QObject *>("object");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("timeout");
    QTest::addColumn<int>("dataId");
    QTest::addColumn<bool>("silent");
    const FileDescriptor small = descriptor("A", "B", 10);
    QTest::newRow("0x00") << static_cast<QObject *>(new ReadIDTask(nullptr, this)) << "Read ID" << 2000 << 0 << true;
    QTest::newRow("0x03") << static_cast<QObject *>(new ReadStateTask(nullptr, this)) << "Read device state" << 2000 << 3 << true;
    QTest::newRow("0x20") << static_cast<QObject *>(new ReadEnvironmentStateTask(nullptr, this)) << "Environment state" << 4000 << 32 << true;
    QTest::newRow("0x22") << static_cast<QObject *>(new ResetAggregateDoseTask(nullptr, QString(), this)) << "Reset aggregate" << 3000 << 34 << true;
    QTest::newRow("0x23") << static_cast<QObject *>(new SetAggregateDoseTask(nullptr, 0, 0, QString(), this)) << "Set aggregate dose" << 3000 << 35 << true;
    QTest::newRow("0x30") << static_cast<QObject *>(new ReadCalibrationTask(nullptr, this)) << "Read calibration" << 3000 << 48 << true;
    QTest::newRow("0x31") << static_cast<QObject *>(new WriteCalibrationTask(nullptr, 1, QString(), this)) << "Write calibration" << 3000 << 49 << true;
    QTest::newRow("0x32") << static_cast<QObject *>(new ChangePasswordTask(nullptr, QString(), QString(), this)) << "Check password" << 3000 << 50 << true;
    QTest::newRow("0x40") << static_cast<QObject *>(new FilesListTask(nullptr, this)) << "List files" << 5000 << 64 << true;
    QTest::newRow("0x41") << static_cast<QObject *>(new FileReadTask(nullptr, small, QString(), this)) << "Read File" << 5000 << 65 << false;
    QTest::newRow("0x42") << static_cast<QObject *>(new FileWriteTask(nullptr, QFileInfo(), 0, this)) << "Write file" << 10000 << 66 << false;
    QTest::newRow("0x43") << static_cast<QObject *>(new FileRemoveTask(nullptr, small, this)) << "Remove file" << 3000 << 67 << true;
}

void TestTasks::commandTable()
{
    QFETCH(QObject *, object);
    auto *task = qobject_cast<Task *>(object);
    QVERIFY(task);
    QTEST(task->name(), "name");
    QTEST(task->timeout(), "timeout");
    QTEST(task->dataId(), "dataId");
    QTEST(task->isSilent(), "silent");
}

void TestTasks::removeTimeout_data()
{
    QTest::addColumn<quint32>("size");
    QTest::addColumn<int>("timeout");
    QTest::newRow("empty") << 0u << 3000;
    QTest::newRow("10240") << 10240u << 3000;
    QTest::newRow("10241") << 10241u << 30000;
}

void TestTasks::removeTimeout()
{
    QFETCH(quint32, size);
    FileRemoveTask task(nullptr, descriptor("A", "B", size));
    QTEST(task.timeout(), "timeout");
}

void TestTasks::requests_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("expected");
    const QString longPassword(300, QLatin1Char('p'));
    QTest::newRow("calibration 1.5") << WriteCalibrationTask(nullptr, 1.5, QStringLiteral("pw")).request()
                                     << QByteArray::fromHex("3102" "0096") + "pw";
    QTest::newRow("calibration 1.234") << WriteCalibrationTask(nullptr, 1.234, QString()).request()
                                       << QByteArray::fromHex("3100" "007b");
    QTest::newRow("calibration 1.15 exact") << WriteCalibrationTask(nullptr, 1.15, QString()).request()
                                            << QByteArray::fromHex("3100" "0073");
    QTest::newRow("calibration text") << WriteCalibrationTask(nullptr, QStringLiteral("2.5"), QString()).request()
                                      << QByteArray::fromHex("3100" "00fa");
    // The field is an unsigned count of hundredths: 0.00 to 655.35.
    QTest::newRow("calibration negative refused") << WriteCalibrationTask(nullptr, -1.0, QString()).request() << QByteArray();
    QTest::newRow("calibration just below zero refused") << WriteCalibrationTask(nullptr, -0.001, QString()).request() << QByteArray();
    QTest::newRow("calibration 0.00") << WriteCalibrationTask(nullptr, 0.0, QString()).request()
                                      << QByteArray::fromHex("3100" "0000");
    QTest::newRow("calibration 400.00 fits") << WriteCalibrationTask(nullptr, 400.0, QString()).request()
                                             << QByteArray::fromHex("3100" "9c40");
    QTest::newRow("calibration 655.35 fits") << WriteCalibrationTask(nullptr, 655.35, QString()).request()
                                             << QByteArray::fromHex("3100" "ffff");
    QTest::newRow("calibration 655.36 refused") << WriteCalibrationTask(nullptr, 655.36, QString()).request() << QByteArray();
    QTest::newRow("calibration not a number") << WriteCalibrationTask(nullptr, QStringLiteral("x"), QString()).request() << QByteArray();
    QTest::newRow("calibration long password") << WriteCalibrationTask(nullptr, 1, longPassword).request() << QByteArray();
    QTest::newRow("password change") << ChangePasswordTask(nullptr, QStringLiteral("old"), QStringLiteral("new1")).request()
                                     << QByteArray::fromHex("320304") + "oldnew1";
    QTest::newRow("password utf-8 bytes counted") << ChangePasswordTask(nullptr, QStringLiteral("grün"), QString()).request()
                                                  << QByteArray::fromHex("320500") + "gr\xc3\xbcn";
    QTest::newRow("password 255 bytes") << ChangePasswordTask(nullptr, QString(255, QLatin1Char('a')), QString()).request()
                                        << QByteArray::fromHex("32ff00") + QByteArray(255, 'a');
    QTest::newRow("password 300 refused") << ChangePasswordTask(nullptr, QStringLiteral("a"), longPassword).request() << QByteArray();
    QTest::newRow("password 128 umlauts refused") << ChangePasswordTask(nullptr, QString(128, QChar(0xfc)), QString()).request()
                                                  << QByteArray();
    QTest::newRow("reset") << ResetAggregateDoseTask(nullptr, QStringLiteral("1234")).request()
                           << QByteArray::fromHex("2204") + "1234";
    QTest::newRow("reset empty password") << ResetAggregateDoseTask(nullptr, QString()).request() << QByteArray::fromHex("2200");
    QTest::newRow("dose 12.5") << SetAggregateDoseTask(nullptr, 12.5, 3600, QStringLiteral("pw")).request()
                               << QByteArray::fromHex("2302" "00000000000004e2" "00000e10") + "pw";
    QTest::newRow("dose -1.255") << SetAggregateDoseTask(nullptr, -1.255, 1, QString()).request()
                                 << QByteArray::fromHex("2300" "ffffffffffffff83" "00000001");
    QTest::newRow("dose infinite refused") << SetAggregateDoseTask(nullptr, qInf(), 1, QString()).request() << QByteArray();
    QTest::newRow("dose too large refused") << SetAggregateDoseTask(nullptr, 1e18, 1, QString()).request() << QByteArray();
    QTest::newRow("read") << FileReadTask(nullptr, descriptor("A", "B", 1, 0x01020304), QString()).request()
                          << QByteArray::fromHex("4101020304");
}

void TestTasks::requests()
{
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, expected);
    QCOMPARE(request.toHex(' '), expected.toHex(' '));
}

void TestTasks::createRecord_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QByteArray>("nameAndExtension");
    QTest::newRow("readme.txt") << "readme.txt" << QByteArray("README  TXT");
    QTest::newRow("a.tar.gz") << "a.tar.gz" << QByteArray("A          ");
    QTest::newRow("no dot") << "makefile" << QByteArray("MAKEFILE   ");
    QTest::newRow("twelve chars kept") << "abcdefgh.bin" << QByteArray("ABCDEFGHBIN");
    QTest::newRow("long name shortened") << "statistics-2016.data" << QByteArray("STATIS~1DAT");
    QTest::newRow("name cut at 8") << "abcdefghij.x" << QByteArray("ABCDEFGHX  ");
    QTest::newRow("utf-8 not split") << QString::fromUtf8("ääää.b") << QByteArray("\xc3\x84\xc3\x84\xc3\x84\xc3\x84" "B  ");
    QTest::newRow("utf-8 odd cut") << QString::fromUtf8("aääää.b") << QByteArray("A\xc3\x84\xc3\x84\xc3\x84 B  ");
}

void TestTasks::createRecord()
{
    QFETCH(QString, fileName);
    QFETCH(QByteArray, nameAndExtension);
    const QByteArray record = FileWriteTask::createRecord(fileName, 0x05, 0x00010203);
    QCOMPARE(record.size(), 16);
    QCOMPARE(record.left(11), nameAndExtension);
    QCOMPARE(record.mid(11).toHex(), QByteArray("0500010203"));
}

void TestTasks::replies_data()
{
    QTest::addColumn<QObject *>("object");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("code");
    QTest::addColumn<QVariant>("data");
    const auto task = [this](Task *t) { t->setParent(this); return static_cast<QObject *>(t); };
    QByteArray identity(37, '\0');
    QTest::newRow("id 36 bytes") << task(new ReadIDTask(nullptr)) << identity.left(36) << 1 << QVariant();
    QTest::newRow("id 37 bytes") << task(new ReadIDTask(nullptr)) << identity << 0 << QVariant();
    QTest::newRow("id wrong code") << task(new ReadIDTask(nullptr)) << QByteArray(1, '\x01') + identity << 1 << QVariant();
    QTest::newRow("state 17 bytes") << task(new ReadStateTask(nullptr)) << QByteArray(1, '\x03') + QByteArray(16, '\0') << 1 << QVariant();
    QTest::newRow("state wrong code") << task(new ReadStateTask(nullptr)) << QByteArray(16, '\x04') << 1 << QVariant();
    QTest::newRow("env wrong length") << task(new ReadEnvironmentStateTask(nullptr)) << QByteArray(1, '\x20') << 1 << QVariant();
    QTest::newRow("calibration 655.35") << task(new ReadCalibrationTask(nullptr)) << QByteArray::fromHex("30ffff") << 0 << QVariant(655.35);
    QTest::newRow("calibration 2 bytes") << task(new ReadCalibrationTask(nullptr)) << QByteArray::fromHex("30ff") << 1 << QVariant();
    QTest::newRow("calibration write refused") << task(new WriteCalibrationTask(nullptr, 1, QString())) << QByteArray::fromHex("3100") << 0 << QVariant(false);
    QTest::newRow("calibration write accepted") << task(new WriteCalibrationTask(nullptr, 1, QString())) << QByteArray::fromHex("3107") << 0 << QVariant(true);
    QTest::newRow("calibration write wrong code") << task(new WriteCalibrationTask(nullptr, 1, QString())) << QByteArray::fromHex("3201") << 1 << QVariant(false);
    QTest::newRow("password accepted") << task(new ChangePasswordTask(nullptr, QString(), QString())) << QByteArray::fromHex("3201") << 0 << QVariant(true);
    QTest::newRow("password 3 bytes") << task(new ChangePasswordTask(nullptr, QString(), QString())) << QByteArray::fromHex("320100") << 1 << QVariant(false);
    QTest::newRow("dose set refused") << task(new SetAggregateDoseTask(nullptr, 1, 1, QString())) << QByteArray::fromHex("2300") << 0 << QVariant(false);
    QTest::newRow("dose reset accepted") << task(new ResetAggregateDoseTask(nullptr, QString())) << QByteArray::fromHex("2201") << 0 << QVariant(true);
    QTest::newRow("dose reset wrong") << task(new ResetAggregateDoseTask(nullptr, QString())) << QByteArray::fromHex("23") << 1 << QVariant();
    QTest::newRow("read not a read reply") << task(new FileReadTask(nullptr, descriptor("A", "B", 4), QDir::tempPath()))
                                           << QByteArray::fromHex("40000000") << 1 << QVariant();
    QTest::newRow("read only the length") << task(new FileReadTask(nullptr, descriptor("A", "B", 4), QDir::tempPath()))
                                          << QByteArray::fromHex("4100000004") << 1 << QVariant();
    QTest::newRow("read length top bit") << task(new FileReadTask(nullptr, descriptor("A", "B", 4), QDir::tempPath()))
                                         << QByteArray::fromHex("418000000401020304") << 1 << QVariant();
    QTest::newRow("read zero length") << task(new FileReadTask(nullptr, descriptor("A", "B", 4), QDir::tempPath()))
                                      << QByteArray::fromHex("4100000000") << 1 << QVariant();
    QTest::newRow("read truncated") << task(new FileReadTask(nullptr, descriptor("A", "B", 4), QDir::tempPath()))
                                    << QByteArray::fromHex("4100000004010203") << 1 << QVariant();
    QTest::newRow("remove ok") << task(new FileRemoveTask(nullptr, descriptor("A", "B", 4, 9)))
                               << QByteArray::fromHex("4300000009") << 0 << QVariant(QStringLiteral("A.B"));
    QTest::newRow("remove other handle") << task(new FileRemoveTask(nullptr, descriptor("A", "B", 4, 9)))
                                         << QByteArray::fromHex("4300000008") << 1 << QVariant(QStringLiteral("A.B"));
    QTest::newRow("remove 4 bytes") << task(new FileRemoveTask(nullptr, descriptor("A", "B", 4, 9)))
                                    << QByteArray::fromHex("43000000") << 1 << QVariant();
}

void TestTasks::replies()
{
    QFETCH(QObject *, object);
    QFETCH(QByteArray, reply);
    QFETCH(QVariant, data);
    auto *task = qobject_cast<DeviceTask *>(object);
    QVERIFY(task);
    const int code = task->processData(reply);
    QTEST(code, "code");
    if (data.isValid())
        QCOMPARE(task->resultData(), data);
    if (task->dataId() == 3 && code != 0)
        QVERIFY(task->resultData().value<DeviceState>().isEmpty());
    if ((task->dataId() == 32 || task->dataId() == 48 || task->dataId() == 34 || task->dataId() == 65) && code != 0)
        QVERIFY(!task->resultData().isValid());
}

void TestTasks::listReply_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("valid");
    QTest::addColumn<int>("invalid");
    const QByteArray one = descriptor("MEASURE", "DAT", 100, 1).toByteArray();
    const QByteArray two = descriptor("X", "Y", 5, 2).toByteArray();
    QTest::newRow("empty list") << QByteArray::fromHex("4000") << 0 << 0 << 0;
    QTest::newRow("two") << QByteArray::fromHex("4002") + one + two << 0 << 2 << 0;
    QTest::newRow("three announced, two and a half carried") << QByteArray::fromHex("4003") + one + two + one.left(10) << 1 << 0 << 0;
    QTest::newRow("one announced, two carried") << QByteArray::fromHex("4001") + one + two << 1 << 0 << 0;
    QTest::newRow("wrong code") << QByteArray::fromHex("4101") + one << 1 << 0 << 0;
    QTest::newRow("count only") << QByteArray::fromHex("4001") << 1 << 0 << 0;
    QTest::newRow("code only") << QByteArray::fromHex("40") << 1 << 0 << 0;
}

void TestTasks::listReply()
{
    QFETCH(QByteArray, reply);
    QFETCH(int, valid);
    QFETCH(int, invalid);
    FilesListTask task(nullptr);
    const int code = task.processData(reply);
    QTEST(code, "code");
    if (code != 0)
        QVERIFY(!task.resultData().isValid()); // the device's previous list stays as it was
    int validCount = 0;
    int invalidCount = 0;
    const QVariantList list = task.resultData().toList();
    for (const QVariant &v : list)
        (v.value<FileDescriptor>().isValid() ? validCount : invalidCount)++;
    QCOMPARE(validCount, valid);
    QCOMPARE(invalidCount, invalid);
}

void TestTasks::readRefusesUnsafeNames_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QByteArray>("extension");
    QTest::newRow("slash") << QByteArray("../../x") << QByteArray("TXT");
    QTest::newRow("dot dot") << QByteArray("..") << QByteArray("");
    QTest::newRow("backslash") << QByteArray("..\\A") << QByteArray("B");
    QTest::newRow("control") << QByteArray("A\x01" "B") << QByteArray("C");
    QTest::newRow("slash in extension") << QByteArray("A") << QByteArray("/B");
    QTest::newRow("newline") << QByteArray("A\nB") << QByteArray("C");
}

void TestTasks::readRefusesUnsafeNames()
{
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, extension);
    QTemporaryDir outer;
    const QString folder = outer.filePath(QStringLiteral("inside"));
    QVERIFY(QDir().mkpath(folder));
    FileReadTask task(nullptr, descriptor(name, extension, 3), folder);
    QCOMPARE(task.processData(QByteArray::fromHex("4100000003616263")), int(TaskResult::Error));
    QVERIFY(QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).isEmpty());
    QCOMPARE(QDir(outer.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList { "inside" });
}

void TestTasks::readSavesWholeFile()
{
    QTemporaryDir folder;
    FileReadTask task(nullptr, descriptor("MEASURE", "DAT", 3), folder.path());
    QCOMPARE(task.processData(QByteArray::fromHex("4100000003616263ffff")), int(TaskResult::Successful));
    QCOMPARE(task.resultData().toString(), QStringLiteral("MEASURE.DAT"));
    QFile file(folder.filePath(QStringLiteral("MEASURE.DAT")));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("abc"));
}

void TestTasks::writeCreateReplies_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("code");
    QTest::addColumn<QVariant>("data");
    QTest::newRow("device cannot create") << QByteArray::fromHex("44ffffffff") << 1 << QVariant(false);
    QTest::newRow("short create reply") << QByteArray::fromHex("440000") << 1 << QVariant(false);
    QTest::newRow("empty") << QByteArray() << 1 << QVariant();
    QTest::newRow("other code") << QByteArray::fromHex("4000000001") << 1 << QVariant();
    QTest::newRow("data reply before data") << QByteArray::fromHex("42") << 1 << QVariant(false);
}

void TestTasks::writeCreateReplies()
{
    QFETCH(QByteArray, reply);
    QFETCH(QVariant, data);
    FileWriteTask task(nullptr, QFileInfo(QStringLiteral("/nonexistent/file.bin")), 0);
    QTEST(task.processData(reply), "code");
    QCOMPARE(task.resultData(), data);
    QCOMPARE(task.frameCount(), 0); // nothing of the file was sent
}

void TestTasks::fileDescriptor_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("fileName");
    const QByteArray good = QByteArray("MEASTIMEDAT") + QByteArray::fromHex("00001000" "04" "0000002a");
    QTest::newRow("20 bytes") << good << true << "MEASTIME.DAT";
    QTest::newRow("19 bytes") << good.left(19) << false << ".";
    QTest::newRow("21 bytes") << good + 'x' << false << ".";
    QTest::newRow("padded with zeros") << QByteArray("AB\0\0\0\0\0\0C\0\0", 11) + QByteArray::fromHex("00000001" "00" "00000001")
                                       << true << "AB.C";
    QTest::newRow("padded") << QByteArray("AB      C  ") + QByteArray::fromHex("00000001" "00" "00000001") << true << "AB.C";
    QTest::newRow("no handle") << QByteArray("AB      C  ") + QByteArray::fromHex("00000001" "00" "ffffffff") << false << "AB.C";
}

void TestTasks::fileDescriptor()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, valid);
    const FileDescriptor file(bytes);
    QCOMPARE(file.isValid(), valid);
    QTEST(file.fileName(), "fileName");
    if (QByteArray(QTest::currentDataTag()) == "20 bytes") {
        QCOMPARE(file.size(), quint32(4096));
        QCOMPARE(int(file.attributes()), 4);
        QCOMPARE(file.handle(), quint32(42));
        QCOMPARE(file.extension(), QStringLiteral("DAT"));
        QString text;
        QDebug(&text) << file;
        QCOMPARE(text.trimmed(), QStringLiteral("FileDescriptor: \"MEASTIME.DAT\" Attributes: 4 Size: 4096 Handle: 2a"));
        FileDescriptor copy = file;
        QCOMPARE(copy.toByteArray(), bytes);
    }
}

void TestTasks::findInListing_data()
{
    QTest::addColumn<QString>("wanted");
    QTest::addColumn<quint32>("handle"); // of the file found; kNoHandle: none
    QTest::newRow("other letter case") << "meastime.dat" << quint32(2);
    QTest::newRow("an invalid entry of that name is passed over") << "MEASURE.DAT" << quint32(3);
    QTest::newRow("prefix is not a match") << "MEAS" << FileDescriptor::kNoHandle;
}

void TestTasks::findInListing()
{
    QFETCH(QString, wanted);
    QFETCH(quint32, handle);
    const QVariantList listing { QVariant::fromValue(descriptor("CONFIG", "BIN", 10, 1)),
                                 QVariant::fromValue(descriptor("MEASURE", "DAT", 0, FileDescriptor::kNoHandle)),
                                 QVariant::fromValue(descriptor("MEASTIME", "DAT", 20, 2)),
                                 QVariant::fromValue(descriptor("MEASURE", "DAT", 30, 3)) };
    QCOMPARE(FileDescriptor::find(listing, wanted).handle(), handle);
}

QTEST_GUILESS_MAIN(TestTasks)
#include "tst_tasks.moc"
