#include "device/device.h"
#include "device/devicemanager.h"
#include "tasks/notificationhub.h"
#include "tests/common/devsimprocess.h"

#include <QFileInfo>
#include <QPointer>
#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QtTest>

#include <cerrno>

// The device registry against the real simulator on a pseudo-terminal.
class tst_DeviceManager : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void identifiesAndAnnounces();
    void repeatArrivalOfAnOpenPathStaysSilent();
    void deadThenRemovalDeletesOnce();
    void removalOfANeverOpenedPath();
    void identificationFailureDisables_data();
    void identificationFailureDisables();
    void portHeldByAnotherProcessIsExplainedOnce();
    void busyNoticeDroppedWhenThePortOpensMeanwhile();
    void missingPortIsNotExplained();
    void openFailureText_data();
    void openFailureText();

private:
    Device *attach(const QStringList &args = {});

    DevSimProcess m_sim;
    QString m_path;
};

Device *tst_DeviceManager::attach(const QStringList &args)
{
    if (!m_sim.start(args))
        return nullptr;
    m_path = m_sim.path();
    DeviceManager::instance()->OnDeviceInserted(m_path);
    return DeviceManager::instance()->device(m_path);
}

void tst_DeviceManager::cleanup()
{
    if (!m_path.isEmpty())
        DeviceManager::instance()->OnDeviceRemoved(m_path);
    QCOMPARE(DeviceManager::deviceCount(), 0);
    m_sim.stop();
    m_path.clear();
}

void tst_DeviceManager::identifiesAndAnnounces()
{
    DeviceManager *manager = DeviceManager::instance();
    QSignalSpy inserted(manager, &DeviceManager::DeviceInserted);
    QPointer<Device> device = attach({ QStringLiteral("--firmware"), QStringLiteral("1.10") });
    QVERIFY2(device, "simulator port did not open");
    QCOMPARE(manager->deviceStatus(m_path), int(DeviceManager::Pending));
    QVERIFY(!device->isPolling());

    QTRY_COMPARE(inserted.size(), 1);
    QCOMPARE(inserted.first().first().toString(), m_path);
    QCOMPARE(device->deviceInfo().firmwareVersion(), QStringLiteral("1.10"));
    QVERIFY(device->deviceInfo().deviceId().contains(QLatin1String("DAV-180")));
    QVERIFY2(device->isPolling(), "identified device must poll its state");
    QCOMPARE(manager->deviceStatus(m_path), int(DeviceManager::Pending));
    QVERIFY(DeviceManager::hasDevice(m_path));

    QSignalSpy removed(manager, &DeviceManager::DeviceRemoved);
    manager->OnDeviceRemoved(m_path);
    QCOMPARE(removed.size(), 1);
    QVERIFY2(device.isNull(), "removal must delete the device");
    QCOMPARE(manager->deviceStatus(m_path), int(DeviceManager::NoStatus));
    QVERIFY(!manager->device(m_path));
}

void tst_DeviceManager::repeatArrivalOfAnOpenPathStaysSilent()
{
    DeviceManager *manager = DeviceManager::instance();
    QSignalSpy inserted(manager, &DeviceManager::DeviceInserted);
    QSignalSpy messages(NotificationHub::instance(), &NotificationHub::message);
    QPointer<Device> device = attach();
    QVERIFY(device);
    QTRY_COMPARE(inserted.size(), 1);

    manager->OnDeviceInserted(m_path);
    QCOMPARE(manager->device(m_path), device.data());
    QCOMPARE(DeviceManager::deviceCount(), 1);

    // The first device keeps talking to the monitor: its next state poll arrives, and by then the
    // repeat has had every chance to announce or complain.
    QSignalSpy state(device.data(), &Device::stateChanged);
    QTRY_VERIFY(state.size() >= 1);
    QCOMPARE(inserted.size(), 1);
    QVERIFY2(messages.isEmpty(), qPrintable(messages.value(0).value(0).toString()));
}

void tst_DeviceManager::deadThenRemovalDeletesOnce()
{
    DeviceManager *manager = DeviceManager::instance();
    QSignalSpy inserted(manager, &DeviceManager::DeviceInserted);
    QSignalSpy removed(manager, &DeviceManager::DeviceRemoved);
    // The monitor answers the identity read, then aborts the link on the first state poll.
    QPointer<Device> device = attach({ QStringLiteral("--abort-after"), QStringLiteral("2") });
    QVERIFY(device);
    QTRY_COMPARE(inserted.size(), 1);
    QTRY_COMPARE(removed.size(), 1);
    QVERIFY(device.isNull());
    QCOMPARE(manager->deviceStatus(m_path), int(DeviceManager::NoStatus));

    manager->OnDeviceRemoved(m_path);
    QCOMPARE(removed.size(), 1);
    QCOMPARE(DeviceManager::deviceCount(), 0);
}

void tst_DeviceManager::removalOfANeverOpenedPath()
{
    DeviceManager *manager = DeviceManager::instance();
    QSignalSpy removed(manager, &DeviceManager::DeviceRemoved);
    const QString path = QStringLiteral("/dev/varno-test-never-opened");
    manager->OnDeviceInserted(path);
    QCOMPARE(manager->deviceStatus(path), int(DeviceManager::NoStatus));
    manager->OnDeviceRemoved(path);
    QVERIFY(removed.isEmpty());
    QCOMPARE(DeviceManager::removeDevice(path), static_cast<Device *>(nullptr));
    QCOMPARE(DeviceManager::deviceCount(), 0);
}

void tst_DeviceManager::identificationFailureDisables_data()
{
    QTest::addColumn<QString>("cutBytes");
    // The identity reply is 58 bytes; 37 is the least that is accepted.
    QTest::newRow("36 bytes") << QStringLiteral("-22");
    QTest::newRow("command byte only") << QStringLiteral("-57");
}

void tst_DeviceManager::identificationFailureDisables()
{
    QFETCH(QString, cutBytes);
    DeviceManager *manager = DeviceManager::instance();
    QSignalSpy inserted(manager, &DeviceManager::DeviceInserted);
    QPointer<Device> device = attach({ QStringLiteral("--wrong-length"), QStringLiteral("0x00"),
        QStringLiteral("--wrong-length-by"), cutBytes });
    QVERIFY(device);
    QTRY_COMPARE(manager->deviceStatus(m_path), int(DeviceManager::Disabled));
    QVERIFY2(inserted.isEmpty(), "a device without identity must never be announced");
    QVERIFY2(device, "a disabled device stays registered until it is unplugged");
    QVERIFY(!device->isPolling());
}

void tst_DeviceManager::portHeldByAnotherProcessIsExplainedOnce()
{
    QVERIFY(m_sim.start());
    // Another program holds the port the way a second copy of us would: with an advisory lock. The
    // helper runs under its final name before it takes the lock, so the holder's name is settled.
    QProcess holder;
    holder.start(QStringLiteral(VARNO_PORTLOCK_PATH), { m_sim.path() });
    QVERIFY(holder.waitForStarted(5000));
    auto stopHolder = qScopeGuard([&holder] {
        holder.kill();
        holder.waitForFinished(5000);
    });
    while (!holder.canReadLine())
        QVERIFY2(holder.waitForReadyRead(10000), "lock holder did not start");
    QCOMPARE(holder.readLine(), QByteArray("locked\n"));
    const QString holderName = QFileInfo(QStringLiteral(VARNO_PORTLOCK_PATH)).fileName();

    QSignalSpy messages(NotificationHub::instance(), &NotificationHub::message);
    DeviceManager *manager = DeviceManager::instance();
    manager->OnDeviceInserted(m_sim.path());
    manager->OnDeviceInserted(m_sim.path());
    QCOMPARE(DeviceManager::deviceCount(), 0);
    QTRY_COMPARE(messages.size(), 1);
    const QString text = messages.first().first().toString();
    QVERIFY2(text.contains(QStringLiteral("%1 (pid %2)").arg(holderName).arg(holder.processId())), qPrintable(text));
    QVERIFY2(text.contains(m_sim.path()), qPrintable(text));

    stopHolder.dismiss();
    holder.kill();
    QVERIFY(holder.waitForFinished(5000));
    // Once the holder is gone the monitor opens; the reminder is reset for a later failure.
    QSignalSpy inserted(manager, &DeviceManager::DeviceInserted);
    m_path = m_sim.path();
    manager->OnDeviceInserted(m_path);
    QTRY_COMPARE(inserted.size(), 1);
    QCOMPARE(messages.size(), 1);
}

// The holder is looked for on a thread of its own; when the port opens before the answer is in,
// the user is not told about a conflict that is already over.
void tst_DeviceManager::busyNoticeDroppedWhenThePortOpensMeanwhile()
{
    QVERIFY(m_sim.start());
    QProcess holder;
    holder.start(QStringLiteral("/bin/sh"), { QStringLiteral("-c"),
        QStringLiteral("exec 3<\"$0\" && flock -n 3 && echo locked && exec sleep 600"), m_sim.path() });
    QVERIFY(holder.waitForStarted());
    QVERIFY2(holder.waitForReadyRead(5000), "lock holder did not start");

    QSignalSpy messages(NotificationHub::instance(), &NotificationHub::message);
    QSignalSpy inserted(DeviceManager::instance(), &DeviceManager::DeviceInserted);
    DeviceManager::instance()->OnDeviceInserted(m_sim.path());
    QCOMPARE(DeviceManager::deviceCount(), 0);
    // No event is handled in between, so the search's answer cannot have been shown yet.
    holder.kill();
    QVERIFY(holder.waitForFinished(5000));
    m_path = m_sim.path();
    DeviceManager::instance()->OnDeviceInserted(m_path);
    QVERIFY(DeviceManager::hasDevice(m_path));
    QTRY_COMPARE(inserted.size(), 1);
    QVERIFY2(messages.isEmpty(), qPrintable(messages.value(0).value(0).toString()));
}

void tst_DeviceManager::missingPortIsNotExplained()
{
    QSignalSpy messages(NotificationHub::instance(), &NotificationHub::message);
    QCOMPARE(DeviceManager::createDevice(QStringLiteral("/dev/varno-test-missing"), Devices::UsbMonitor),
             static_cast<Device *>(nullptr));
    QVERIFY(messages.isEmpty());
}

void tst_DeviceManager::openFailureText_data()
{
    QTest::addColumn<int>("error");
    QTest::addColumn<QString>("holder");
    QTest::addColumn<QStringList>("expected");
    const QStringList rule { QStringLiteral("/dev/ttyACM0"), QStringLiteral("/rules.d/60-varno-monitor.rules"),
        QStringLiteral("\"dialout\" group") };
    QTest::newRow("no permission") << int(EACCES) << QString() << rule;
    QTest::newRow("not permitted") << int(EPERM) << QString() << rule;
    QTest::newRow("busy, holder known") << int(EBUSY) << QStringLiteral("ModemManager (pid 812)")
                                        << QStringList { QStringLiteral("ModemManager (pid 812) is using its port"),
                                               QStringLiteral("Close that program") };
    QTest::newRow("busy, holder unknown") << int(EBUSY) << QString()
                                          << QStringList { QStringLiteral("another program is using its port"),
                                               QStringLiteral("60-varno-monitor.rules") };
    QTest::newRow("missing") << int(ENOENT) << QString() << QStringList();
    QTest::newRow("i/o error") << int(EIO) << QString() << QStringList();
}

void tst_DeviceManager::openFailureText()
{
    QFETCH(int, error);
    QFETCH(QString, holder);
    QFETCH(QStringList, expected);
    const QString text = DeviceManager::openFailureText(QStringLiteral("/dev/ttyACM0"), error, holder);
    QCOMPARE(text.isEmpty(), expected.isEmpty());
    for (const QString &part : expected)
        QVERIFY2(text.contains(part), qPrintable(text));
}

QTEST_GUILESS_MAIN(tst_DeviceManager)
#include "tst_devicemanager.moc"
