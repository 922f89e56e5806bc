// Byte layouts, debug forms and naming rules of the device records.

#include "device/device.h"
#include "link/communicator.h"
#include "device/deviceinfo.h"
#include "device/devicestate.h"
#include "device/environmentstate.h"
#include "tasks/filedescriptor.h"
#include "tasks/taskresult.h"

#include <QBuffer>
#include <QDataStream>
#include <QTest>

namespace {

// The identity record as the device sends it after the command byte.
QByteArray identityRecord(const QByteArray &cpu = QByteArray::fromHex("12ab34cd56ef78900a0b0c0d"),
                          const QByteArray &serial = "SN-1")
{
    QByteArray r = QByteArray("DAV-180").leftJustified(16, '\0');
    r.append(char(2)).append(char(1)).append(char(1)).append(char(9));
    r.append(QByteArray::fromHex("00112233445566778899aabbccddeeff"));
    r.append(cpu);
    r.append(serial);
    return r;
}

template<typename T>
QString debugText(const T &value)
{
    QString text;
    QDebug(&text) << value;
    return text.trimmed();
}

} // namespace

class TestDeviceRecords : public QObject
{
    Q_OBJECT

private slots:
    void deviceInfo_data();
    void deviceInfo();
    void deviceInfoDebugForm();
    void deviceState_data();
    void deviceState();
    void deviceStateForms();
    void environment_data();
    void environment();
    void metaTypeNames_data();
    void metaTypeNames();
    void platform_data();
    void platform();
    void metaObjectInterface();
};

void TestDeviceRecords::deviceInfo_data()
{
    QTest::addColumn<QByteArray>("record");
    QTest::addColumn<QString>("firmware");
    QTest::addColumn<QString>("processorId");
    QTest::addColumn<QString>("serial");
    QTest::addColumn<bool>("isDefault");
    const QByteArray full = identityRecord();
    QTest::newRow("full") << full << "1.9" << "12ab34cd56ef7890abcd" << "SN-1" << false;
    QTest::newRow("35 bytes") << full.left(35) << "0.0" << "" << "" << true;
    QTest::newRow("36 bytes") << full.left(36) << "1.9" << "" << "" << false;
    QTest::newRow("40 bytes") << full.left(40) << "1.9" << "12ab34cd" << "" << false;
    QTest::newRow("48 bytes") << full.left(48) << "1.9" << "12ab34cd56ef7890abcd" << "" << false;
    QTest::newRow("cpu stops at zero") << identityRecord(QByteArray::fromHex("1200ab0000000000000000ff")) << "1.9"
                                       << "12" << "SN-1" << false;
    // The padding zeros after the serial number are not part of it; a zero inside stays.
    QTest::newRow("serial padded") << identityRecord(QByteArray::fromHex("12ab34cd56ef78900a0b0c0d"),
                                                     QByteArray("SN180-000123\0", 13))
                                   << "1.9" << "12ab34cd56ef7890abcd" << "SN180-000123" << false;
    QTest::newRow("zero inside serial") << identityRecord(QByteArray::fromHex("12ab34cd56ef78900a0b0c0d"),
                                                          QByteArray("SN\0X\0\0", 6))
                                        << "1.9" << "12ab34cd56ef7890abcd" << QStringLiteral("SN") + QChar(0) + "X"
                                        << false;
    QTest::newRow("empty") << QByteArray() << "0.0" << "" << "" << true;
}

void TestDeviceRecords::deviceInfo()
{
    QFETCH(QByteArray, record);
    QFETCH(QString, firmware);
    QFETCH(QString, processorId);
    QFETCH(QString, serial);
    QFETCH(bool, isDefault);
    const DeviceInfo info(record);
    QCOMPARE(info.firmwareVersion(), firmware);
    QCOMPARE(info.processorId(), processorId);
    QCOMPARE(info.serialNumber(), serial);
    QCOMPARE(info == DeviceInfo(), isDefault);
    QCOMPARE(info.isRead(), !isDefault);
    if (!isDefault) {
        // The nine padding zeros are not part of the text.
        QCOMPARE(info.deviceId(), QStringLiteral("DAV-180"));
        QCOMPARE(Device::platformOf(info.deviceId()), QStringLiteral("DAV-180")); // asked of the update server
        QCOMPARE(info.hardwareVersion(), QStringLiteral("2.1"));
        QCOMPARE(info.guid(), QStringLiteral("{00112233-4455-6677-8899-aabbccddeeff}"));
    }
}

void TestDeviceRecords::deviceInfoDebugForm()
{
    const DeviceInfo info(identityRecord());
    const QString text = debugText(info);
    QVERIFY2(text.startsWith(QLatin1String("DeviceID: \"DAV-180")), qPrintable(text));
    QVERIFY2(text.contains(QLatin1String(" SW: \"1.9\" HW: \"2.1\" GUID: \"{00112233-4455-6677-8899-aabbccddeeff}\" CPU ID: \"12ab34cd56ef7890abcd\" SN: \"SN-1\"")),
             qPrintable(text));
}

void TestDeviceRecords::deviceState_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("empty");
    const QByteArray good = QByteArray::fromHex("03" "05" "4b" "82" "00010203" "0000012c" "00000011");
    QTest::newRow("good") << good << false;
    QTest::newRow("15 bytes") << good.left(15) << true;
    QTest::newRow("17 bytes") << good + '\0' << true;
    QTest::newRow("wrong code") << QByteArray(1, '\x04') + good.mid(1) << true;
    QTest::newRow("empty") << QByteArray() << true;
}

void TestDeviceRecords::deviceState()
{
    QFETCH(QByteArray, reply);
    QFETCH(bool, empty);
    const DeviceState state = DeviceState::fromReply(reply);
    QCOMPARE(state.isEmpty(), empty);
    if (empty) {
        QCOMPARE(state, DeviceState());
        QCOMPARE(state.counterLT(), quint64(0));
        return;
    }
    // Reply order: flags, battery, second flags, counter, power-on time, power cycles.
    QCOMPARE(int(state.flags()), 0x05);
    QCOMPARE(int(state.battery()), 0x4b);
    QCOMPARE(int(state.secondFlags()), 0x82);
    QCOMPARE(state.counterLT(), quint64(0x00010203));
    QCOMPARE(state.powerOnTime(), quint32(300));
    QCOMPARE(state.powerCycles(), quint64(17));
    QVERIFY(state.externalPower());
    QVERIFY(!state.accumulator());
    QVERIFY(state.charging());
    QVERIFY(state.secondFlagBit1());
    QVERIFY(state.secondFlagBit7());
}

void TestDeviceRecords::deviceStateForms()
{
    const DeviceState state(0x04, 0, 75, 9, 300, 17);
    QCOMPARE(debugText(state), QStringLiteral("[B]=75%[PM]= charging[PC]=17[OT]=300[LT]=9"));
    QCOMPARE(debugText(DeviceState(0x01, 0, 5, 1, 2, 3)), QStringLiteral("[B]=5%[PM]= battery[PC]=3[OT]=2[LT]=1"));

    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out << state;
    QDataStream in(bytes);
    char *label = nullptr;
    in >> label;
    QCOMPARE(QByteArray(label), QByteArray("[B]="));
    delete[] label;
    quint8 battery = 0;
    in >> battery;
    QCOMPARE(int(battery), 75);
    QVERIFY(bytes.contains("[PM]=") && bytes.contains(" charging") && bytes.contains("[LT]="));
}

void TestDeviceRecords::environment_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<qint32>("left");
    QTest::addColumn<qint32>("right");
    QTest::addColumn<qint64>("dose");
    QTest::addColumn<qint32>("average");
    QTest::newRow("five words") << QByteArray::fromHex("20" "00000001" "00000002" "00000003" "00000004" "00000005")
                                << true << 1 << 2 << qint64(0x0000000300000004) << 5;
    QTest::newRow("dose 1000.00") << QByteArray::fromHex("20" "00000000" "00000000" "00000000000186a0" "00000000")
                                  << true << 0 << 0 << qint64(100000) << 0;
    QTest::newRow("negative") << QByteArray::fromHex("20" "ffffff9c" "00000000" "ffffffffffffff83" "ffffffff")
                              << true << -100 << 0 << qint64(-125) << -1;
    QTest::newRow("20 bytes") << QByteArray::fromHex("20" "00000001" "00000002" "00000003" "00000004" "000000")
                              << false << 0 << 0 << qint64(0) << 0;
    QTest::newRow("22 bytes") << QByteArray::fromHex("20" "00000001" "00000002" "00000003" "00000004" "0000000500")
                              << false << 0 << 0 << qint64(0) << 0;
    QTest::newRow("wrong code") << QByteArray::fromHex("21" "00000001" "00000002" "00000003" "00000004" "00000005")
                                << false << 0 << 0 << qint64(0) << 0;
}

void TestDeviceRecords::environment()
{
    QFETCH(QByteArray, reply);
    QFETCH(bool, ok);
    EnvironmentState state;
    QCOMPARE(EnvironmentState::fromReply(reply, &state), ok);
    QTEST(state.left, "left");
    QTEST(state.right, "right");
    QTEST(state.dose, "dose");
    QTEST(state.average, "average");
    if (QByteArray(QTest::currentDataTag()) == "dose 1000.00")
        QCOMPARE(QString::number(EnvironmentState::display(state.dose), 'f', 2), QStringLiteral("1000.00"));
}

void TestDeviceRecords::metaTypeNames_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<int>("id");
    QTest::newRow("DeviceInfo") << QByteArray("DeviceInfo") << qMetaTypeId<DeviceInfo>();
    QTest::newRow("DeviceState") << QByteArray("DeviceState") << qMetaTypeId<DeviceState>();
    QTest::newRow("EnvironmentState") << QByteArray("EnvironmentState") << qMetaTypeId<EnvironmentState>();
    QTest::newRow("TaskResult") << QByteArray("TaskResult") << qMetaTypeId<TaskResult>();
    QTest::newRow("FileDescriptor") << QByteArray("FileDescriptor") << qMetaTypeId<FileDescriptor>();
    QTest::newRow("FileDescriptorEx") << QByteArray("FileDescriptorEx") << qMetaTypeId<FileDescriptor>();
}

void TestDeviceRecords::metaTypeNames()
{
    QFETCH(QByteArray, name);
    QFETCH(int, id);
    QCOMPARE(QMetaType::type(name.constData()), id);
}

void TestDeviceRecords::platform_data()
{
    QTest::addColumn<QString>("deviceId");
    QTest::addColumn<QString>("platform");
    QTest::addColumn<bool>("ormelin");
    QTest::newRow("no hyphen") << "DAV180" << "" << false;
    QTest::newRow("two parts") << "DAV-180" << "DAV-180" << true;
    QTest::newRow("three parts") << "DAV-180-R2" << "DAV-180" << true;
    QTest::newRow("padded") << QString::fromLatin1("DAV-180\0\0\0", 10) << QString::fromLatin1("DAV-180\0\0\0", 10) << true;
    QTest::newRow("empty parts kept") << "-180-X" << "-180" << false;
    QTest::newRow("lower case") << "dav-180" << "dav-180" << false;
    QTest::newRow("empty") << "" << "" << false;
}

void TestDeviceRecords::platform()
{
    QFETCH(QString, deviceId);
    QTEST(Device::platformOf(deviceId), "platform");
    QTEST(Device::isOrmelin(deviceId), "ormelin");
}

void TestDeviceRecords::metaObjectInterface()
{
    // Other parts of the program connect by these signatures, in this order.
    const QMetaObject &meta = Device::staticMetaObject;
    QStringList methods;
    for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
        const QMetaMethod method = meta.method(i);
        if (method.methodType() == QMetaMethod::Signal || method.access() == QMetaMethod::Public)
            methods.append(QString::fromLatin1(method.methodSignature()));
    }
    const QStringList expected { "stateChanged(DeviceState)", "idChanged()", "userDataReceived(QByteArray)",
        "aborted(int)", "dead()", "dataUpdated(int)", "dataSent(int)", "dataReceived(int)",
        "messageDropped(int)", "taskFinished(TaskResult)", "CommunicationFail()",
        "OnDeviceState(DeviceState)", "OnDeviceInfo(DeviceInfo)", "OnReadStateResult(QVariant)",
        "OnTaskComplete(TaskResult)" };
    QCOMPARE(methods, expected);

    const QMetaObject &link = Communicator::staticMetaObject;
    for (const char *signal : { "userData(QByteArray)", "dataSent(int)", "dataReceived(int)", "aborted(int)" })
        QVERIFY2(link.indexOfSignal(signal) >= 0, signal);
}

QTEST_GUILESS_MAIN(TestDeviceRecords)
#include "tst_devicerecords.moc"
