#include "panels/devicewidget.h"
#include "panels/generaldevicewidget.h"
#include "panels/measurementswidget.h"
#include "panels/normaldeviceframe.h"
#include "tests/panels/dialoganswerer.h"
#include "tests/panels/panelfixture.h"

#include <QDoubleSpinBox>
#include <QLabel>
#include <QPushButton>
#include <QStandardPaths>
#include <QtTest>

// The device page's General tab against the simulator, attached through the device manager.
class tst_GeneralDeviceWidget : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void bindingShowsIdentityAndState_data();
    void bindingShowsIdentityAndState();
    void sameDeviceAgainDoesNotRebind();
    void powerOnTimeText_data();
    void powerOnTimeText();
    void newestFirmware_data();
    void newestFirmware();
    void calibrationWrite_data();
    void calibrationWrite();
    void passwordAskedFromTheFirstRefusalOn_data();
    void passwordAskedFromTheFirstRefusalOn();
    void calibrationOutsideTheUsualRangeIsShownAsItIs();
    void nothingCarriesOverToTheNextDevice();
    void buttonsFitTheSmallestWindow_data();
    void buttonsFitTheSmallestWindow();
    void passwordChange_data();
    void passwordChange();
    void deviceRemovedWhileThePromptIsOpen();
    void treeEntryNamesTheDevice_data();
    void treeEntryNamesTheDevice();

private:
    template<typename T>
    T *child(QWidget *parent, const char *name)
    {
        return parent->findChild<T *>(QLatin1String(name));
    }
    QString text(QWidget *parent, const char *name) { return child<QLabel>(parent, name)->text(); }
};

void tst_GeneralDeviceWidget::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
}

void tst_GeneralDeviceWidget::bindingShowsIdentityAndState_data()
{
    QTest::addColumn<QString>("firmware");
    QTest::addColumn<QString>("flags");
    QTest::addColumn<bool>("serialShown");
    QTest::addColumn<QString>("powerSource");
    QTest::newRow("1.8, battery") << "1.8" << "0" << false << "Battery";
    QTest::newRow("1.9, accumulator") << "1.9" << "2" << true << "Accumulator";
    QTest::newRow("1.10, on-line") << "1.10" << "1" << true << "On-Line";
    QTest::newRow("2.0, on-line and charging") << "2.0" << "5" << true << "On-Line/Charging";
    QTest::newRow("0.99, charging flag alone") << "0.99" << "4" << false << "Battery";
}

void tst_GeneralDeviceWidget::bindingShowsIdentityAndState()
{
    QFETCH(QString, firmware);
    QFETCH(QString, flags);
    QFETCH(bool, serialShown);
    QFETCH(QString, powerSource);
    AttachedSimulator sim;
    QVERIFY(sim.attach({ "--firmware", firmware, "--state-flags", flags, "--serial", "SN-4711", "--power-on-time",
        "37380", "--calibration", "123" }));
    NormalDeviceFrame frame;
    frame.show();
    frame.setDevice(sim.path());
    QWidget *general = frame.generalWidget();
    QCOMPARE(text(general, "currentVersionLabel"), firmware);
    QCOMPARE(child<QLabel>(general, "serialNumberLabel")->isVisible(), serialShown);
    QCOMPARE(child<QLabel>(general, "snLabelCaption")->isVisible(), serialShown);
    if (serialShown)
        QCOMPARE(text(general, "serialNumberLabel"), QStringLiteral("SN-4711"));
    QCOMPARE(text(general, "lastVersionLabel"), QStringLiteral("Not available"));
    QVERIFY(!child<QPushButton>(general, "updateSoftwarePushButton")->isVisible());

    // The state arrives with the next poll; the calibration read was queued at binding.
    QTRY_COMPARE(text(general, "powerSourceLabel"), powerSource);
    QCOMPARE(text(general, "powerOnTimeLabel"), QStringLiteral("10 h 23 min "));
    QCOMPARE(text(general, "powerCyclesLabel"), QStringLiteral("17"));
    QTRY_COMPARE(child<QDoubleSpinBox>(general, "calibrationCoeffValueBox")->value(), 1.23);

    // Every tab follows the page.
    for (DevicePanel *panel : frame.panels())
        QCOMPARE(panel->deviceName(), sim.path());
    sim.detach();
    for (DevicePanel *panel : frame.panels())
        QVERIFY2(panel->deviceName().isEmpty(), "a removed device must be let go of");
}

void tst_GeneralDeviceWidget::sameDeviceAgainDoesNotRebind()
{
    AttachedSimulator sim;
    QVERIFY(sim.attach());
    NormalDeviceFrame frame;
    frame.setDevice(sim.path());
    auto *box = child<QDoubleSpinBox>(frame.generalWidget(), "calibrationCoeffValueBox");
    QTRY_COMPARE(box->value(), 1.0);
    box->setValue(0.77);
    QSignalSpy updates(sim.device(), &Device::dataUpdated);
    frame.setDevice(sim.path());
    // Had it re-read the calibration, the box would go back to 1.00 after the next update.
    QTRY_VERIFY(updates.size() >= 1);
    QCoreApplication::processEvents();
    QCOMPARE(box->value(), 0.77);
}

void tst_GeneralDeviceWidget::powerOnTimeText_data()
{
    QTest::addColumn<quint32>("seconds");
    QTest::addColumn<QString>("expected");
    QTest::newRow("nothing") << 0u << "0 h 00 min ";
    QTest::newRow("59 s") << 59u << "0 h 00 min ";
    QTest::newRow("one minute") << 60u << "0 h 01 min ";
    QTest::newRow("10 h 23 min") << 37380u << "10 h 23 min ";
    QTest::newRow("beyond 16-bit hours") << 65536u * 3600u << "65536 h 00 min ";
    QTest::newRow("largest") << 4294967295u << "1193046 h 28 min ";
}

void tst_GeneralDeviceWidget::powerOnTimeText()
{
    QFETCH(quint32, seconds);
    QFETCH(QString, expected);
    QCOMPARE(GeneralDeviceWidget::powerOnTimeText(seconds), expected);
}

void tst_GeneralDeviceWidget::newestFirmware_data()
{
    QTest::addColumn<QString>("deviceFirmware");
    QTest::addColumn<QStringList>("versions");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<bool>("updateOffered");
    QTest::newRow("none found") << "1.9" << QStringList() << "Not available" << false;
    QTest::newRow("newer by number, not by text") << "1.9" << QStringList { "1.8", "1.10" } << "1.10" << true;
    QTest::newRow("same") << "1.9" << QStringList { "1.9" } << "1.9" << false;
    QTest::newRow("older") << "1.9" << QStringList { "1.2" } << "1.2" << false;
    QTest::newRow("three parts never newer") << "1.9" << QStringList { "2.0.1" } << "2.0.1" << false;
}

void tst_GeneralDeviceWidget::newestFirmware()
{
    QFETCH(QString, deviceFirmware);
    QFETCH(QStringList, versions);
    QFETCH(QString, shown);
    QFETCH(bool, updateOffered);
    AttachedSimulator sim;
    QVERIFY(sim.attach({ "--firmware", deviceFirmware }));
    GeneralDeviceWidget widget;
    widget.show();
    widget.setDevice(sim.path());
    widget.showNewestFirmware(versions);
    QCOMPARE(text(&widget, "lastVersionLabel"), shown);
    auto *update = child<QPushButton>(&widget, "updateSoftwarePushButton");
    QCOMPARE(update->isVisible(), updateOffered);
    QCOMPARE(update->isEnabled(), updateOffered);
    widget.clearDevice();
    QVERIFY(!update->isVisible());
}

void tst_GeneralDeviceWidget::calibrationWrite_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("dialogs");
    QTest::addColumn<double>("stored");
    const QString prompt = QStringLiteral("Password request");
    QTest::newRow("refused, then the right password")
        << "1234" << QStringList { prompt, "Write calibration|Calibration was written successfully." } << 1.37;
    QTest::newRow("refused, then a wrong password")
        << "4321"
        << QStringList { prompt, "Write calibration|Calibration wasn't written because of error or wrong password." }
        << 1.0;
    QTest::newRow("refused, then cancelled") << QString() << QStringList { prompt } << 1.0;
}

void tst_GeneralDeviceWidget::calibrationWrite()
{
    QFETCH(QString, typed);
    QFETCH(QStringList, dialogs);
    QFETCH(double, stored);
    AttachedSimulator sim;
    QVERIFY(sim.attach());
    GeneralDeviceWidget widget;
    widget.setDevice(sim.path());
    auto *box = child<QDoubleSpinBox>(&widget, "calibrationCoeffValueBox");
    QTRY_COMPARE(box->value(), 1.0);

    DialogAnswerer answerer;
    answerer.then(typed.isNull() ? DialogAnswerer::cancel() : DialogAnswerer::typePassword(typed));
    answerer.then(DialogAnswerer::ok());
    box->setValue(1.37);
    child<QPushButton>(&widget, "writeCalibrationButton")->click();
    QTRY_COMPARE(answerer.seen(), dialogs);

    box->setValue(0.5);
    child<QPushButton>(&widget, "readCalibrationButton")->click();
    QTRY_COMPARE(box->value(), stored);
    QCOMPARE(answerer.seen(), dialogs);

    if (!typed.isNull() && stored == 1.0) {
        // After a typed password failed, the next write asks at once.
        answerer.then(DialogAnswerer::typePassword(QStringLiteral("1234")));
        box->setValue(0.9);
        child<QPushButton>(&widget, "writeCalibrationButton")->click();
        QTRY_COMPARE(answerer.seen().size(), dialogs.size() + 2);
        QCOMPARE(answerer.seen().mid(dialogs.size()),
                 QStringList({ "Password request", "Write calibration|Calibration was written successfully." }));
    }
}

void tst_GeneralDeviceWidget::passwordAskedFromTheFirstRefusalOn_data()
{
    QTest::addColumn<QStringList>("simulator");
    QTest::addColumn<QStringList>("dialogs");
    QTest::addColumn<int>("writesSent");
    const QString prompt = QStringLiteral("Password request");
    const QString done = QStringLiteral("Write calibration|Calibration was written successfully.");
    // Protected: refused once without a password, then asked for before every write.
    QTest::newRow("protected") << QStringList() << QStringList { prompt, done, prompt, done } << 3;
    QTest::newRow("no password") << QStringList { "--password", "" } << QStringList { done, done } << 2;
}

void tst_GeneralDeviceWidget::passwordAskedFromTheFirstRefusalOn()
{
    QFETCH(QStringList, simulator);
    QFETCH(QStringList, dialogs);
    QFETCH(int, writesSent);
    AttachedSimulator sim;
    QVERIFY(sim.attach(simulator));
    GeneralDeviceWidget widget;
    widget.setDevice(sim.path());
    auto *box = child<QDoubleSpinBox>(&widget, "calibrationCoeffValueBox");
    QTRY_COMPARE(box->value(), 1.0);
    int writes = 0;
    connect(widget.device(), &Device::taskFinished, this, [&writes](const TaskResult &result) {
        writes += result.dataId() == Device::WriteCalibration ? 1 : 0;
    });

    DialogAnswerer answerer;
    for (const QString &dialog : dialogs)
        answerer.then(dialog.contains(QLatin1Char('|')) ? DialogAnswerer::ok() : DialogAnswerer::typePassword("1234"));
    const int firstWrite = dialogs.size() / 2;
    box->setValue(1.2);
    child<QPushButton>(&widget, "writeCalibrationButton")->click();
    QTRY_COMPARE(answerer.seen(), dialogs.mid(0, firstWrite));
    box->setValue(1.3);
    child<QPushButton>(&widget, "writeCalibrationButton")->click();
    QTRY_COMPARE(answerer.seen(), dialogs);
    QCOMPARE(writes, writesSent);
}

void tst_GeneralDeviceWidget::calibrationOutsideTheUsualRangeIsShownAsItIs()
{
    AttachedSimulator sim;
    QVERIFY(sim.attach({ "--calibration", "65535" }));
    GeneralDeviceWidget widget;
    widget.setDevice(sim.path());
    auto *box = child<QDoubleSpinBox>(&widget, "calibrationCoeffValueBox");
    QTRY_COMPARE(box->value(), 655.35);

    // Shown as read, but never written back from the page.
    QSignalSpy updates(sim.device(), &Device::dataUpdated);
    DialogAnswerer answerer;
    answerer.then(DialogAnswerer::ok());
    child<QPushButton>(&widget, "writeCalibrationButton")->click();
    QTRY_COMPARE(answerer.seen(),
                 QStringList { "Write calibration|The calibration coefficient must lie between 0.50 and 1.50." });
    QCOMPARE(updates.count(), 0);
}

void tst_GeneralDeviceWidget::nothingCarriesOverToTheNextDevice()
{
    AttachedSimulator first;
    QVERIFY(first.attach({ "--calibration", "200", "--firmware", "1.9" }));
    AttachedSimulator second;
    // Its state never arrives.
    QVERIFY(second.attach({ "--firmware", "1.9", "--wrong-length", "0x03" }));
    GeneralDeviceWidget widget;
    widget.show();
    widget.setDevice(first.path());
    auto *box = child<QDoubleSpinBox>(&widget, "calibrationCoeffValueBox");
    QTRY_COMPARE(box->value(), 2.0);
    QTRY_VERIFY(text(&widget, "powerCyclesLabel") != QLatin1String("-"));
    widget.showNewestFirmware({ QStringLiteral("2.0") });
    auto *update = child<QPushButton>(&widget, "updateSoftwarePushButton");
    QVERIFY(update->isVisible());

    widget.setDevice(second.path());
    QVERIFY(!update->isVisible());
    QVERIFY(!update->isEnabled());
    QCOMPARE(box->minimum(), 0.5);
    QCOMPARE(box->maximum(), 1.5);
    QTRY_COMPARE(box->value(), 1.0);
    for (const char *name : { "powerSourceLabel", "batteryLabel", "powerOnTimeLabel", "powerCyclesLabel" })
        QCOMPARE(text(&widget, name), QStringLiteral("-"));
}

void tst_GeneralDeviceWidget::buttonsFitTheSmallestWindow_data()
{
    addLanguageRows();
}

void tst_GeneralDeviceWidget::buttonsFitTheSmallestWindow()
{
    QFETCH(QString, language);
    const auto panel = showAtSmallestTab<GeneralDeviceWidget>(language);
    QVERIFY(panel);
    GeneralDeviceWidget &widget = *panel;
    QVERIFY(QTest::qWaitForWindowExposed(&widget));
    // A window never squeezes the page below this, so nothing is cut or overlapped there.
    QVERIFY2(widget.minimumSizeHint().width() <= widget.width(), qPrintable(QString::number(widget.minimumSizeHint().width())));
    QCOMPARE(widget.width(), kSmallestTabWidth);
    for (const char *name : { "label_16", "readCalibrationButton", "writeCalibrationButton", "changePasswordButton" }) {
        auto *shown = child<QWidget>(&widget, name);
        QVERIFY2(shown->width() >= shown->sizeHint().width(), name);
        QVERIFY2(shown->mapTo(&widget, QPoint(shown->width(), 0)).x() <= widget.width(), name);
    }
}

void tst_GeneralDeviceWidget::passwordChange_data()
{
    QTest::addColumn<QStringList>("simArgs");
    QTest::addColumn<QStringList>("answers");
    QTest::addColumn<QStringList>("dialogs");
    const QString done = QStringLiteral("Password change|Password was changed successfully.");
    const QString failed = QStringLiteral("Password change|Password wasn't changed because of error or wrong old password.");
    QTest::newRow("right old password") << QStringList() << QStringList { "1234", "abcd", "abcd" }
                                        << QStringList { "Change password", done };
    QTest::newRow("wrong old password") << QStringList() << QStringList { "9999", "abcd", "abcd" }
                                        << QStringList { "Change password", failed };
    QTest::newRow("device refuses") << QStringList { "--refuse-passwords" } << QStringList { "1234", "x", "x" }
                                    << QStringList { "Change password", failed };
    QTest::newRow("empty new password") << QStringList() << QStringList { "1234", "", "" }
                                        << QStringList { "Change password", done };
}

void tst_GeneralDeviceWidget::passwordChange()
{
    QFETCH(QStringList, simArgs);
    QFETCH(QStringList, answers);
    QFETCH(QStringList, dialogs);
    AttachedSimulator sim;
    QVERIFY(sim.attach(simArgs));
    GeneralDeviceWidget widget;
    widget.setDevice(sim.path());
    DialogAnswerer answerer;
    answerer.then(DialogAnswerer::changePassword(answers.at(0), answers.at(1), answers.at(2)));
    answerer.then(DialogAnswerer::ok());
    child<QPushButton>(&widget, "changePasswordButton")->click();
    QTRY_COMPARE(answerer.seen(), dialogs);
    QCOMPARE(answerer.pending(), 0);
}

void tst_GeneralDeviceWidget::deviceRemovedWhileThePromptIsOpen()
{
    AttachedSimulator sim;
    QVERIFY(sim.attach());
    NormalDeviceFrame frame;
    frame.setDevice(sim.path());
    QPointer<Device> device = sim.device();
    DialogAnswerer answerer;
    // Mismatched retype first: the dialog stays open with a warning; the monitor is pulled out
    // meanwhile, and the confirmed change then has nowhere to go.
    answerer.then(DialogAnswerer::changePassword("1234", "a", "b"));
    answerer.then([&sim](QWidget *box) {
        sim.detach();
        DialogAnswerer::ok()(box);
    });
    answerer.then(DialogAnswerer::changePassword("1234", "a", "a"));
    child<QPushButton>(frame.generalWidget(), "changePasswordButton")->click();
    QCOMPARE(answerer.seen(), QStringList({ "Change password", "Input error|Passwords aren't the same",
        "Change password" }));
    QVERIFY(device.isNull());
    QVERIFY(frame.generalWidget()->deviceName().isEmpty());
    QVERIFY(!frame.generalWidget()->device());
}

void tst_GeneralDeviceWidget::treeEntryNamesTheDevice_data()
{
    QTest::addColumn<QString>("deviceId");
    QTest::addColumn<QString>("name");
    QTest::newRow("Ormelin") << "DAV-180-R2" << "VARNO Ormelin";
    QTest::newRow("other") << "XYZ-1" << "Unknown Device";
    QTest::newRow("lower case") << "dav-180" << "Unknown Device";
}

void tst_GeneralDeviceWidget::treeEntryNamesTheDevice()
{
    QFETCH(QString, deviceId);
    QFETCH(QString, name);
    AttachedSimulator sim;
    QVERIFY(sim.attach({ "--device-id", deviceId }));
    DeviceWidget entry(sim.device());
    QCOMPARE(text(&entry, "deviceNameLabel"), name);
    sim.detach();
    DeviceWidget orphan(nullptr);
    QCOMPARE(text(&orphan, "deviceNameLabel"), QStringLiteral("Unknown Device"));
}

QTEST_MAIN(tst_GeneralDeviceWidget)
#include "tst_generaldevicewidget.moc"
