// Which Windows ports are monitors: the hardware ids SetupAPI reports for the Ports class, as
// Device Manager shows them under Details > Hardware Ids. Runs on every platform.

#include "device/devicenotifier.h"

#include <QTest>

class TestHardwareIds : public QObject
{
    Q_OBJECT

private slots:
    void matching_data()
    {
        QTest::addColumn<QStringList>("ids");
        QTest::addColumn<bool>("allowed");

        const auto ids = [](const char *list) { return QString::fromLatin1(list).split(QLatin1Char('|')); };
        QTest::newRow("usbser CDC") << ids("USB\\VID_27E9&PID_B403&REV_0100|USB\\VID_27E9&PID_B403") << true;
        QTest::newRow("composite interface")
            << ids("USB\\VID_27E9&PID_B403&REV_0100&MI_00|USB\\VID_27E9&PID_B403&MI_00") << true;
        QTest::newRow("lower case") << ids("usb\\vid_27e9&pid_b403&rev_0100") << true;
        QTest::newRow("only the second id") << ids("ACPI\\PNP0501|USB\\VID_27E9&PID_B403") << true;
        QTest::newRow("other product") << ids("USB\\VID_27E9&PID_B404&REV_0100|USB\\VID_27E9&PID_B404") << false;
        QTest::newRow("product id with a longer tail") << ids("USB\\VID_27E9&PID_B4031") << false;
        QTest::newRow("FTDI") << ids("FTDIBUS\\COMPORT&VID_0403&PID_6001") << false;
        QTest::newRow("Arduino") << ids("USB\\VID_2341&PID_0043&REV_0001|USB\\VID_2341&PID_0043") << false;
        QTest::newRow("motherboard port") << ids("ACPI\\PNP0501|*PNP0501") << false;
        QTest::newRow("Bluetooth serial")
            << ids("BTHENUM\\{00001101-0000-1000-8000-00805f9b34fb}_VID&000127e9_PID&b403") << false;
        QTest::newRow("none") << QStringList() << false;
    }

    void matching()
    {
        QFETCH(QStringList, ids);
        QFETCH(bool, allowed);
        const QVector<AllowedDeviceId> monitor { { 0x27E9, 0xB403 } };
        QCOMPARE(varno::isAllowedHardwareId(ids, monitor), allowed);
        QVERIFY(!varno::isAllowedHardwareId(ids, {}));
    }

    void smallIdsAreZeroPadded()
    {
        const QVector<AllowedDeviceId> small { { 0x0001, 0x00FF } };
        QVERIFY(varno::isAllowedHardwareId({ QStringLiteral("USB\\VID_0001&PID_00FF&REV_0001") }, small));
        QVERIFY(!varno::isAllowedHardwareId({ QStringLiteral("USB\\VID_1&PID_FF") }, small));
    }
};

QTEST_GUILESS_MAIN(TestHardwareIds)
#include "tst_hardwareids.moc"
