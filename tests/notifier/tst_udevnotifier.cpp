// umockdev pulls in GIO, whose headers use the word "signals": include it before any Qt header.
#include <umockdev.h>

#include "device/devicenotifier.h"
#include "device/inotifier.h"
#include "device/notifier_udev.h"
#include "link/serialport.h"
#include "tests/common/devsimprocess.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

Q_DECLARE_METATYPE(AllowedDeviceId)

namespace {

const char kAllowedProduct[] = "b403";
const int kSettleTimeoutMs = UdevNotifier::kArrivalSettleMs + 4000;

// Wraps a testbed so that every test starts with an empty sysfs of its own.
struct Testbed
{
    UMockdevTestbed *bed = umockdev_testbed_new();
    ~Testbed() { g_object_unref(bed); }

    // A USB serial tty the way udev presents it: ids as properties of the tty, and the sysfs
    // attributes on its USB parent.
    QString addUsbTty(const char *name, const char *vid, const char *pid, bool withProperties = true)
    {
        gchar *usb = umockdev_testbed_add_device(bed, "usb", (QByteArray("usb-") + name).constData(),
                                                 nullptr, "idVendor", vid, "idProduct", pid, nullptr,
                                                 "DEVTYPE", "usb_device", nullptr);
        const QByteArray node = QByteArray("/dev/") + name;
        gchar *tty = withProperties
                ? umockdev_testbed_add_device(bed, "tty", name, usb, nullptr, "DEVNAME",
                                              node.constData(), "ID_VENDOR_ID", vid, "ID_MODEL_ID",
                                              pid, nullptr)
                : umockdev_testbed_add_device(bed, "tty", name, usb, nullptr, "DEVNAME",
                                              node.constData(), nullptr);
        const QString syspath = QString::fromUtf8(tty);
        g_free(usb);
        g_free(tty);
        return syspath;
    }

    void unplug(const QString &syspath)
    {
        const QByteArray path = syspath.toUtf8();
        umockdev_testbed_uevent(bed, path.constData(), "remove");
        umockdev_testbed_remove_device(bed, path.constData());
    }
};

QStringList namesOf(const QSignalSpy &spy)
{
    QStringList names;
    for (const QList<QVariant> &args : spy)
        names.append(args.at(0).toString());
    return names;
}

} // namespace

class TstUdevNotifier : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void allowedTest_data();
    void allowedTest();
    void usbIdName_data();
    void usbIdName();
    void attachedLinkNames();

    void firstScanFindsAllowedTtyOnly();
    void firstScanReadsIdsFromUsbParent();
    void hotplugReportsAddAfterSettlingAndRemove();
    void hotplugIgnoresOtherProduct();
    void removalWhileSettlingCancelsArrival();
    void emptyAllowedListReportsNothing();

    void attachedLinksFoundByFirstScan();
    void attachedLinkArrivalAndRemoval();
    void stopNotifyTwiceIsHarmlessAndSilences();
    void attachedSimulatorComesAndGoes();

private:
    QTemporaryDir m_runtimeDir;
    Testbed *m_testbed = nullptr;

    QString linkPath(const QString &name) const { return varno::attachedDevicesDir() + '/' + name; }
    QString makeTarget(const QString &name) const
    {
        const QString target = m_runtimeDir.path() + "/target-" + name;
        QFile file(target);
        file.open(QIODevice::WriteOnly);
        return target;
    }
};

void TstUdevNotifier::initTestCase()
{
    QVERIFY2(m_runtimeDir.isValid(), "temporary runtime directory");
    // The simulators' folder lives in the runtime directory; keep it away from the real one.
    qputenv("XDG_RUNTIME_DIR", m_runtimeDir.path().toLocal8Bit());
}

void TstUdevNotifier::init()
{
    m_testbed = new Testbed;
    QVERIFY2(umockdev_in_mock_environment(), "umockdev preload is active");
    QDir(varno::attachedDevicesDir()).removeRecursively();
}

void TstUdevNotifier::cleanup()
{
    delete m_testbed;
    m_testbed = nullptr;
}

void TstUdevNotifier::allowedTest_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QVector<AllowedDeviceId>>("allowed");
    QTest::addColumn<bool>("expected");

    const QVector<AllowedDeviceId> monitor{{0x27E9, 0xB403}};
    QTest::newRow("windows path") << R"(\\?\usb#vid_27e9&pid_b403#5&1a2b#{4d36e978})" << monitor << true;
    QTest::newRow("upper case") << "USB#VID_27E9&PID_B403#0001" << monitor << true;
    QTest::newRow("attached link") << "/run/user/1000/varno-devices/devsim-42-Vid_27e9&Pid_b403"
                                   << monitor << true;
    QTest::newRow("other product") << "/x/devsim-1-Vid_27e9&Pid_b404" << monitor << false;
    QTest::newRow("other vendor") << "Vid_27e8&Pid_b403" << monitor << false;
    QTest::newRow("ids apart") << "Vid_27e9-Pid_b403" << monitor << false;
    QTest::newRow("device node") << "/dev/ttyACM0" << monitor << false;
    QTest::newRow("empty name") << "" << monitor << false;
    QTest::newRow("empty list") << "Vid_27e9&Pid_b403" << QVector<AllowedDeviceId>() << false;
    QTest::newRow("small ids padded") << "Vid_0001&Pid_00ff"
                                      << QVector<AllowedDeviceId>{{0x0001, 0x00FF}} << true;
    QTest::newRow("small ids unpadded") << "Vid_1&Pid_ff"
                                        << QVector<AllowedDeviceId>{{0x0001, 0x00FF}} << false;
    QTest::newRow("second pair") << "Vid_1234&Pid_5678"
                                 << QVector<AllowedDeviceId>{{0x27E9, 0xB403}, {0x1234, 0x5678}} << true;
}

void TstUdevNotifier::allowedTest()
{
    QFETCH(QString, name);
    QFETCH(QVector<AllowedDeviceId>, allowed);
    QFETCH(bool, expected);
    QCOMPARE(varno::isAllowedDevice(name, allowed), expected);
}

void TstUdevNotifier::usbIdName_data()
{
    QTest::addColumn<QString>("vendor");
    QTest::addColumn<QString>("product");
    QTest::addColumn<QString>("expected");

    QTest::newRow("lower") << "27e9" << "b403" << "Vid_27e9&Pid_b403";
    QTest::newRow("upper") << "27E9" << "B403" << "Vid_27e9&Pid_b403";
    QTest::newRow("short") << "1" << "ff" << "Vid_0001&Pid_00ff";
    QTest::newRow("trailing newline") << "27e9\n" << "b403\n" << "Vid_27e9&Pid_b403";
    QTest::newRow("empty vendor") << "" << "b403" << "";
    QTest::newRow("not hex") << "27g9" << "b403" << "";
    QTest::newRow("too wide") << "127e9" << "b403" << "";
}

void TstUdevNotifier::usbIdName()
{
    QFETCH(QString, vendor);
    QFETCH(QString, product);
    QFETCH(QString, expected);
    QCOMPARE(UdevNotifier::usbIdName(vendor, product), expected);
}

void TstUdevNotifier::attachedLinkNames()
{
    QCOMPARE(varno::attachedDevicesDir(), m_runtimeDir.path() + "/varno-devices");
    QCOMPARE(varno::attachedDeviceLinkName(4321), QString("devsim-4321-Vid_27e9&Pid_b403"));
}

void TstUdevNotifier::firstScanFindsAllowedTtyOnly()
{
    m_testbed->addUsbTty("ttyACM0", "27e9", kAllowedProduct);
    m_testbed->addUsbTty("ttyACM1", "27e9", "b404");
    m_testbed->addUsbTty("ttyACM2", "27E9", "B403");

    DeviceNotifier notifier;
    notifier.addAllowedDevice(0x27E9, 0xB403);
    QSignalSpy inserted(&notifier, &DeviceNotifier::deviceInserted);
    notifier.startNotify();
    QStringList found = notifier.enumerateDevices();
    found.sort();
    QCOMPARE(found, QStringList({"/dev/ttyACM0", "/dev/ttyACM2"}));
    QStringList announced = namesOf(inserted);
    announced.sort();
    QCOMPARE(announced, found);
}

void TstUdevNotifier::firstScanReadsIdsFromUsbParent()
{
    m_testbed->addUsbTty("ttyUSB3", "27e9", kAllowedProduct, false);
    m_testbed->addUsbTty("ttyUSB4", "27e9", "b404", false);

    DeviceNotifier notifier;
    notifier.addAllowedDevice(0x27E9, 0xB403);
    QCOMPARE(notifier.enumerateDevices(), QStringList({"/dev/ttyUSB3"}));
}

void TstUdevNotifier::hotplugReportsAddAfterSettlingAndRemove()
{
    DeviceNotifier notifier;
    notifier.addAllowedDevice(0x27E9, 0xB403);
    QSignalSpy inserted(&notifier, &DeviceNotifier::deviceInserted);
    QSignalSpy removed(&notifier, &DeviceNotifier::deviceRemoved);
    notifier.startNotify();
    QVERIFY2(notifier.enumerateDevices().isEmpty(), "nothing plugged in yet");

    QElapsedTimer clock;
    clock.start();
    const QString syspath = m_testbed->addUsbTty("ttyACM0", "27e9", kAllowedProduct);
    QTRY_COMPARE_WITH_TIMEOUT(inserted.count(), 1, kSettleTimeoutMs);
    QVERIFY2(clock.elapsed() >= UdevNotifier::kArrivalSettleMs - 50,
             qPrintable(QString("arrival after %1 ms").arg(clock.elapsed())));
    QCOMPARE(inserted.at(0).at(0).toString(), QString("/dev/ttyACM0"));

    m_testbed->unplug(syspath);
    QTRY_COMPARE(removed.count(), 1);
    QCOMPARE(removed.at(0).at(0).toString(), QString("/dev/ttyACM0"));
    QCOMPARE(inserted.count(), 1);
}

void TstUdevNotifier::hotplugIgnoresOtherProduct()
{
    DeviceNotifier notifier;
    notifier.addAllowedDevice(0x27E9, 0xB403);
    QSignalSpy inserted(&notifier, &DeviceNotifier::deviceInserted);
    QSignalSpy removed(&notifier, &DeviceNotifier::deviceRemoved);
    notifier.startNotify();

    // The allowed one comes second: once it is reported, the first one had its chance.
    const QString other = m_testbed->addUsbTty("ttyACM5", "27e9", "b404");
    const QString ours = m_testbed->addUsbTty("ttyACM6", "27e9", kAllowedProduct);
    QTRY_COMPARE_WITH_TIMEOUT(inserted.count(), 1, kSettleTimeoutMs);
    QCOMPARE(namesOf(inserted), QStringList({"/dev/ttyACM6"}));

    m_testbed->unplug(other);
    m_testbed->unplug(ours);
    QTRY_COMPARE(removed.count(), 1);
    QCOMPARE(namesOf(removed), QStringList({"/dev/ttyACM6"}));
}

void TstUdevNotifier::removalWhileSettlingCancelsArrival()
{
    DeviceNotifier notifier;
    notifier.addAllowedDevice(0x27E9, 0xB403);
    QSignalSpy inserted(&notifier, &DeviceNotifier::deviceInserted);
    QSignalSpy removed(&notifier, &DeviceNotifier::deviceRemoved);
    notifier.startNotify();

    const QString flaky = m_testbed->addUsbTty("ttyACM0", "27e9", kAllowedProduct);
    m_testbed->unplug(flaky);
    QTRY_COMPARE(removed.count(), 1);
    m_testbed->addUsbTty("ttyACM1", "27e9", kAllowedProduct);
    QTRY_COMPARE_WITH_TIMEOUT(inserted.count(), 1, kSettleTimeoutMs);
    QCOMPARE(namesOf(inserted), QStringList({"/dev/ttyACM1"}));
}

void TstUdevNotifier::emptyAllowedListReportsNothing()
{
    m_testbed->addUsbTty("ttyACM0", "27e9", kAllowedProduct);
    QVERIFY(QDir().mkpath(varno::attachedDevicesDir()));
    QVERIFY(QFile::link(makeTarget("e"), linkPath(varno::attachedDeviceLinkName(7))));

    DeviceNotifier notifier;
    QSignalSpy inserted(&notifier, &DeviceNotifier::deviceInserted);
    notifier.startNotify();
    QVERIFY(notifier.enumerateDevices().isEmpty());
    QCOMPARE(inserted.count(), 0);
}

void TstUdevNotifier::attachedLinksFoundByFirstScan()
{
    QVERIFY(QDir().mkpath(varno::attachedDevicesDir()));
    const QString live = linkPath(varno::attachedDeviceLinkName(100));
    QVERIFY(QFile::link(makeTarget("live"), live));
    QVERIFY(QFile::link(makeTarget("other"), linkPath(varno::attachedDeviceLinkName(101, 0x27E9, 0xB404))));
    // A simulator killed without cleaning up leaves a link to nothing.
    QVERIFY(QFile::link(m_runtimeDir.path() + "/gone-pty", linkPath(varno::attachedDeviceLinkName(102))));

    DeviceNotifier notifier;
    notifier.addAllowedDevice(0x27E9, 0xB403);
    QSignalSpy inserted(&notifier, &DeviceNotifier::deviceInserted);
    QCOMPARE(notifier.enumerateDevices(), QStringList({live}));
    notifier.startNotify();
    QCOMPARE(notifier.enumerateDevices(), QStringList({live}));
    QCOMPARE(namesOf(inserted), QStringList({live, live}));
}

void TstUdevNotifier::attachedLinkArrivalAndRemoval()
{
    DeviceNotifier notifier;
    notifier.addAllowedDevice(0x27E9, 0xB403);
    QSignalSpy inserted(&notifier, &DeviceNotifier::deviceInserted);
    QSignalSpy removed(&notifier, &DeviceNotifier::deviceRemoved);
    notifier.startNotify();
    QVERIFY2(QFileInfo(varno::attachedDevicesDir()).isDir(), "startNotify creates the folder");
    QVERIFY(notifier.enumerateDevices().isEmpty());

    const QString other = linkPath(varno::attachedDeviceLinkName(201, 0x27E9, 0xB404));
    const QString ours = linkPath(varno::attachedDeviceLinkName(200));
    QElapsedTimer clock;
    clock.start();
    QVERIFY(QFile::link(makeTarget("other"), other));
    QVERIFY(QFile::link(makeTarget("ours"), ours));
    QTRY_COMPARE_WITH_TIMEOUT(inserted.count(), 1, kSettleTimeoutMs);
    QVERIFY2(clock.elapsed() >= UdevNotifier::kArrivalSettleMs - 50,
             qPrintable(QString("arrival after %1 ms").arg(clock.elapsed())));
    QCOMPARE(namesOf(inserted), QStringList({ours}));

    QVERIFY(QFile::remove(other));
    QVERIFY(QFile::remove(ours));
    QTRY_COMPARE(removed.count(), 1);
    QCOMPARE(namesOf(removed), QStringList({ours}));
}

void TstUdevNotifier::stopNotifyTwiceIsHarmlessAndSilences()
{
    auto *udevNotifier = new UdevNotifier;
    DeviceNotifier notifier(udevNotifier, nullptr);
    notifier.addAllowedDevice(0x27E9, 0xB403);
    QSignalSpy inserted(&notifier, &DeviceNotifier::deviceInserted);
    notifier.startNotify();
    // Arrivals still settling when notification stops are dropped with it.
    m_testbed->addUsbTty("ttyACM0", "27e9", kAllowedProduct);
    QVERIFY(QFile::link(makeTarget("s"), linkPath(varno::attachedDeviceLinkName(300))));
    QTRY_COMPARE(udevNotifier->pendingArrivalCount(), 2);
    notifier.stopNotify();
    QCOMPARE(udevNotifier->pendingArrivalCount(), 0);
    notifier.stopNotify();
    QVERIFY(!udevNotifier->isNotifying());

    // Restarting works, and the scan still finds what is there.
    notifier.startNotify();
    QCOMPARE(notifier.enumerateDevices().size(), 2);
    const QString later = linkPath(varno::attachedDeviceLinkName(301));
    QVERIFY(QFile::link(makeTarget("t"), later));
    QTRY_COMPARE_WITH_TIMEOUT(inserted.count(), 3, kSettleTimeoutMs);
    QCOMPARE(inserted.at(2).at(0).toString(), later);
    QCOMPARE(udevNotifier->pendingArrivalCount(), 0);
}

void TstUdevNotifier::attachedSimulatorComesAndGoes()
{
    DeviceNotifier notifier;
    notifier.addAllowedDevice(0x27E9, 0xB403);
    QSignalSpy inserted(&notifier, &DeviceNotifier::deviceInserted);
    QSignalSpy removed(&notifier, &DeviceNotifier::deviceRemoved);
    notifier.startNotify();
    QVERIFY(notifier.enumerateDevices().isEmpty());

    DevSimProcess simulator;
    QVERIFY2(simulator.start({"--attach"}), "the simulator starts and prints its pty");
    const QString link = linkPath(varno::attachedDeviceLinkName(simulator.process().processId()));
    QTRY_COMPARE_WITH_TIMEOUT(inserted.count(), 1, kSettleTimeoutMs);
    QCOMPARE(inserted.at(0).at(0).toString(), link);
    QCOMPARE(QFileInfo(link).symLinkTarget(), simulator.path());

    // The reported name is what the serial port opens.
    {
        SerialPort port(link, 1200, 1200);
        try {
            port.Open();
        } catch (const SerialPortException &e) {
            QFAIL(e.what());
        }
        QVERIFY(port.IsOpen());
        port.Close();
    }

    simulator.stop();
    QTRY_COMPARE(removed.count(), 1);
    QCOMPARE(removed.at(0).at(0).toString(), link);
    QVERIFY2(!QFileInfo::exists(link), "the simulator takes its link away");
    QCOMPARE(inserted.count(), 1);
}

// The udev side needs umockdev's preload library, which can only be set before the process starts:
// run ourselves again with it when it is missing.
int main(int argc, char **argv)
{
    const char *const kPreload = "libumockdev-preload.so.0";
    const char *current = std::getenv("LD_PRELOAD");
    if (!current || !std::strstr(current, kPreload)) {
        QByteArray preload = kPreload;
        if (current && *current)
            preload += QByteArray(":") + current;
        setenv("LD_PRELOAD", preload.constData(), 1);
        execv("/proc/self/exe", argv);
        std::perror("re-exec under umockdev");
        return 1;
    }
    QCoreApplication app(argc, argv);
    TstUdevNotifier test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_udevnotifier.moc"
