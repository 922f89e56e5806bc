// umockdev pulls in GIO, whose headers use the word "signals": include it before any Qt header.
#include <umockdev.h>

#include "device/devicenotifier.h"
#include "link/serialport.h"
#include "tests/common/devsimprocess.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

Q_DECLARE_METATYPE(AllowedDeviceId)

namespace {

const char kAllowedProduct[] = "b403";
const int kSettleTimeoutMs = DeviceNotifier::kArrivalSettleMs + 4000;

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

    void attachedEntries_data();
    void attachedEntries();
    void attachedLinksFoundByFirstScan();
    void attachedLinkArrivalAndRemoval();
    void stopNotifyTwiceIsHarmlessAndSilences();
    void attachedSimulatorComesAndGoes();

private:
    QTemporaryDir m_runtimeDir;
    Testbed *m_testbed = nullptr;
    QList<int> m_ptys;

    QString linkPath(const QString &name) const { return varno::attachedDevicesDir() + '/' + name; }
    // A pseudo-terminal of ours, the kind of end an attached simulator links to.
    QString makeTarget()
    {
        const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0)
            return QString();
        m_ptys.append(master);
        return QString::fromLocal8Bit(::ptsname(master));
    }
    // What varno-devsim --attach makes: a folder of ours that nobody else may enter.
    static bool makeAttachedFolder()
    {
        const QString folder = varno::attachedDevicesDir();
        return QDir().mkpath(folder) && ::chmod(QFile::encodeName(folder), 0700) == 0;
    }
    QString makePlainFile(const QString &name) const
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
    qputenv("VARNO_SIMULATORS", "1");
}

void TstUdevNotifier::init()
{
    m_testbed = new Testbed;
    QVERIFY2(umockdev_in_mock_environment(), "umockdev preload is active");
    // A case may leave the folder as a link: take the link away, not what it leads to.
    if (QFileInfo(varno::attachedDevicesDir()).isSymLink())
        QFile::remove(varno::attachedDevicesDir());
    QDir(varno::attachedDevicesDir()).removeRecursively();
}

void TstUdevNotifier::cleanup()
{
    delete m_testbed;
    m_testbed = nullptr;
    for (int master : qAsConst(m_ptys))
        ::close(master);
    m_ptys.clear();
    qputenv("VARNO_SIMULATORS", "1");
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
    QCOMPARE(DeviceNotifier::usbIdName(vendor, product), expected);
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
    QVERIFY2(clock.elapsed() >= DeviceNotifier::kArrivalSettleMs - 50,
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
    QVERIFY(makeAttachedFolder());
    QVERIFY(QFile::link(makeTarget(), linkPath(varno::attachedDeviceLinkName(7))));

    DeviceNotifier notifier;
    QSignalSpy inserted(&notifier, &DeviceNotifier::deviceInserted);
    notifier.startNotify();
    QVERIFY(notifier.enumerateDevices().isEmpty());
    QCOMPARE(inserted.count(), 0);
}

// Only a link in a private folder of ours that leads to a terminal of ours is ever opened, and
// only when simulators were asked for; anything else is skipped with a log line saying why.
void TstUdevNotifier::attachedEntries_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("skipped"); // what the log line says, empty when the entry is opened

    QTest::newRow("link to our pty") << "pty" << "";
    QTest::newRow("simulators not asked for") << "pty, VARNO_SIMULATORS=0" << "";
    QTest::newRow("regular file") << "file" << "leads to a regular file, not a terminal";
    QTest::newRow("link to a regular file") << "link to file" << "leads to a regular file, not a terminal";
    QTest::newRow("socket") << "socket" << "leads to a socket, not a terminal";
    QTest::newRow("fifo") << "fifo" << "leads to a fifo, not a terminal";
    QTest::newRow("link to nowhere") << "dangling" << "leads nowhere";
    QTest::newRow("link to a device that is no terminal") << "null" << "leads to a (device of uid|character device)";
    QTest::newRow("pty of another user") << "foreign pty" << "leads to a device of uid 65534";
    QTest::newRow("folder open to others") << "pty, open folder" << "attached devices folder .*mode 0755";
    QTest::newRow("folder is a link") << "pty, linked folder" << "attached devices folder .*a link, not a folder";
}

void TstUdevNotifier::attachedEntries()
{
    QFETCH(QString, entry);
    QFETCH(QString, skipped);

    if (entry == "foreign pty" && ::geteuid() != 0)
        QSKIP("only root can give a pty to another user");
    const QString folder = varno::attachedDevicesDir();
    const QString name = linkPath(varno::attachedDeviceLinkName(500));
    if (entry.endsWith("linked folder")) {
        const QString real = m_runtimeDir.path() + "/elsewhere";
        QVERIFY(QDir().mkpath(real) && ::chmod(QFile::encodeName(real), 0700) == 0);
        QVERIFY(QFile::link(real, folder));
    } else {
        QVERIFY(makeAttachedFolder());
    }
    const QByteArray native = QFile::encodeName(name);
    if (entry.startsWith("pty")) {
        QVERIFY(QFile::link(makeTarget(), name));
    } else if (entry == "foreign pty") {
        const QString pty = makeTarget();
        QVERIFY(::chown(QFile::encodeName(pty), 65534, 65534) == 0);
        QVERIFY(QFile::link(pty, name));
    } else if (entry == "file") {
        QVERIFY(QFile::copy(makePlainFile("copied"), name));
    } else if (entry == "link to file") {
        QVERIFY(QFile::link(makePlainFile("linked"), name));
    } else if (entry == "socket") {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address {};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, native.constData(), sizeof address.sun_path - 1);
        const bool bound = ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
        ::close(fd);
        QVERIFY2(bound, native.constData());
    } else if (entry == "fifo") {
        QVERIFY(::mkfifo(native.constData(), 0600) == 0);
    } else if (entry == "dangling") {
        QVERIFY(QFile::link(m_runtimeDir.path() + "/gone-pty", name));
    } else if (entry == "null") {
        QVERIFY(QFile::link("/dev/null", name));
    }
    if (entry.endsWith("open folder"))
        QVERIFY(::chmod(QFile::encodeName(folder), 0755) == 0);
    if (entry.endsWith("VARNO_SIMULATORS=0"))
        qputenv("VARNO_SIMULATORS", "0");

    if (!skipped.isEmpty())
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Skipping .*" + skipped));
    DeviceNotifier notifier;
    notifier.addAllowedDevice(0x27E9, 0xB403);
    const bool opened = entry == "pty";
    QCOMPARE(notifier.enumerateDevices(), opened ? QStringList({name}) : QStringList());
    QFile::remove(name);
    QFile::remove(folder);
}

void TstUdevNotifier::attachedLinksFoundByFirstScan()
{
    QVERIFY(makeAttachedFolder());
    const QString live = linkPath(varno::attachedDeviceLinkName(100));
    QVERIFY(QFile::link(makeTarget(), live));
    QVERIFY(QFile::link(makeTarget(), linkPath(varno::attachedDeviceLinkName(101, 0x27E9, 0xB404))));
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
    const QString planted = linkPath(varno::attachedDeviceLinkName(202));
    const QString ours = linkPath(varno::attachedDeviceLinkName(200));
    QElapsedTimer clock;
    clock.start();
    QVERIFY(QFile::link(makeTarget(), other));
    QVERIFY(QFile::link(makePlainFile("planted"), planted));
    QVERIFY(QFile::link(makeTarget(), ours));
    QTRY_COMPARE_WITH_TIMEOUT(inserted.count(), 1, kSettleTimeoutMs);
    QVERIFY2(clock.elapsed() >= DeviceNotifier::kArrivalSettleMs - 50,
             qPrintable(QString("arrival after %1 ms").arg(clock.elapsed())));
    QCOMPARE(namesOf(inserted), QStringList({ours}));

    QVERIFY(QFile::remove(other));
    QVERIFY(QFile::remove(planted));
    QVERIFY(QFile::remove(ours));
    QTRY_COMPARE(removed.count(), 2);
    QStringList names = namesOf(removed);
    names.sort();
    QCOMPARE(names, QStringList({ours, planted}));
}

void TstUdevNotifier::stopNotifyTwiceIsHarmlessAndSilences()
{
    DeviceNotifier notifier;
    notifier.addAllowedDevice(0x27E9, 0xB403);
    QSignalSpy inserted(&notifier, &DeviceNotifier::deviceInserted);
    notifier.startNotify();
    // Arrivals still settling when notification stops are dropped with it.
    m_testbed->addUsbTty("ttyACM0", "27e9", kAllowedProduct);
    QVERIFY(QFile::link(makeTarget(), linkPath(varno::attachedDeviceLinkName(300))));
    QTRY_COMPARE(notifier.pendingArrivalCount(), 2);
    notifier.stopNotify();
    QCOMPARE(notifier.pendingArrivalCount(), 0);
    notifier.stopNotify();
    QVERIFY(!notifier.isNotifying());

    // Restarting works, and the scan still finds what is there.
    notifier.startNotify();
    QCOMPARE(notifier.enumerateDevices().size(), 2);
    const QString later = linkPath(varno::attachedDeviceLinkName(301));
    QVERIFY(QFile::link(makeTarget(), later));
    QTRY_COMPARE_WITH_TIMEOUT(inserted.count(), 3, kSettleTimeoutMs);
    QCOMPARE(inserted.at(2).at(0).toString(), later);
    QCOMPARE(notifier.pendingArrivalCount(), 0);
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
