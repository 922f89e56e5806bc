#include "charts/graphplotter.h"
#include "panels/aggregatedosedialog.h"
#include "panels/measurementswidget.h"
#include "panels/usersettingswindow.h"
#include "tests/panels/dialoganswerer.h"
#include "tasks/filedescriptor.h"
#include "tasks/taskmanager.h"
#include "tasks/taskscheduler.h"
#include "tests/panels/panelfixture.h"

#include <QCheckBox>
#include <QDateTimeEdit>
#include <QElapsedTimer>
#include <QLCDNumber>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimerEvent>
#include <QtTest>

#include <cmath>

namespace {

constexpr int kFastPollMs = 300;

// Counts the poll timer's ticks reaching a widget, by timer id.
class TimerWatch : public QObject
{
public:
    QList<int> ids;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Timer)
            ids.append(static_cast<QTimerEvent *>(event)->timerId());
        return false;
    }
};

QSettings settings()
{
    return QSettings(QStringLiteral("VARNO Ltd"), QStringLiteral("VARNO Device Manager"));
}

} // namespace

// The Measures tab against the simulator, attached through the device manager.
class tst_MeasurementsWidget : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void environmentFillsAndColoursTheDisplays_data();
    void environmentFillsAndColoursTheDisplays();
    void extremeReadingsKeepTheLayout_data();
    void extremeReadingsKeepTheLayout();
    void disagreementNotice_data();
    void disagreementNotice();
    void firstReadingAtOnce();
    void failedReadsLeaveGapsOnTheTimeAxis();
    void readsDoNotPileUpBehindATransfer();
    void everythingFitsTheSmallestWindow_data();
    void everythingFitsTheSmallestWindow();
    void switchingDevicesKeepsOnePollTimer();
    void seriesFollowTheirCheckBoxes();
    void alertLevels_data();
    void alertLevels();
    void newLevelsColourTheNextReading();
    void doseReset_data();
    void doseReset();
    void doseSet_data();
    void doseSet();
    void doseDialogDates_data();
    void doseDialogDates();
    void deviceRemovedWhileTheDoseDialogIsOpen();

private:
    template<typename T>
    T *child(QWidget *parent, const char *name)
    {
        return parent->findChild<T *>(QLatin1String(name));
    }
    double shown(QWidget *w, const char *name) { return child<QLCDNumber>(w, name)->value(); }
    QPushButton *button(QWidget *w, const char *name) { return child<QPushButton>(w, name); }
};

void tst_MeasurementsWidget::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
}

void tst_MeasurementsWidget::init()
{
    QSettings store = settings();
    store.remove(QLatin1String(UserSettingsWindow::kWarningLevelKey));
    store.remove(QLatin1String(UserSettingsWindow::kCriticalLevelKey));
}

void tst_MeasurementsWidget::environmentFillsAndColoursTheDisplays_data()
{
    QTest::addColumn<int>("left");
    QTest::addColumn<QString>("style");
    QTest::addColumn<bool>("sign");
    const QString green = QStringLiteral("color: rgba(54, 184, 0, 255);");
    const QString yellow = QStringLiteral("color: yellow;");
    const QString red = QStringLiteral("color: red;");
    // Warning level 12.00, critical level 13.00.
    QTest::newRow("just below warning") << 1199 << green << false;
    QTest::newRow("at warning") << 1200 << yellow << true;
    QTest::newRow("just below critical") << 1299 << yellow << true;
    QTest::newRow("at critical") << 1300 << red << true;
    QTest::newRow("above critical") << 1301 << red << true;
    QTest::newRow("negative") << -500 << green << false;
}

void tst_MeasurementsWidget::environmentFillsAndColoursTheDisplays()
{
    QFETCH(int, left);
    QFETCH(QString, style);
    QFETCH(bool, sign);
    QSettings store = settings();
    store.setValue(QLatin1String(UserSettingsWindow::kWarningLevelKey), 12.0);
    store.setValue(QLatin1String(UserSettingsWindow::kCriticalLevelKey), 13.0);
    store.sync();
    AttachedSimulator sim;
    QVERIFY(sim.attach({ "--env-fixed", "--left", QString::number(left), "--right", "100", "--dose", "123456" }));
    MeasurementsWidget widget;
    widget.setPollInterval(kFastPollMs);
    widget.setDevice(sim.path());
    QTRY_VERIFY(widget.timeData().size() >= 1);

    QCOMPARE(shown(&widget, "leftSensorDisplay"), left / 100.0);
    QCOMPARE(shown(&widget, "rightSensorDisplay"), 1.0);
    QCOMPARE(shown(&widget, "averageDisplay"), ((left + 100) / 2) / 100.0);
    QCOMPARE(shown(&widget, "aggregatedDisplay"), 1234.56);
    QCOMPARE(child<QLCDNumber>(&widget, "leftSensorDisplay")->styleSheet(), style);
    QCOMPARE(child<QLCDNumber>(&widget, "rightSensorDisplay")->styleSheet(),
             QStringLiteral("color: rgba(54, 184, 0, 255);"));
    QVERIFY2(child<QLCDNumber>(&widget, "aggregatedDisplay")->styleSheet().isEmpty(), "the dose keeps its colour");
    QCOMPARE(!child<QLabel>(&widget, "leftSensorOverflowLabel")->isHidden(), sign);
    QVERIFY(child<QLabel>(&widget, "rightSensorOverflowLabel")->isHidden());
    // Samples sit on the 10 s grid of the ticks; a tick that found the read still waiting (a busy
    // machine) is a gap, so only the grid and the order are certain.
    QTRY_VERIFY(widget.timeData().size() >= 2);
    const double first = widget.timeData().at(0);
    const double second = widget.timeData().at(1);
    QCOMPARE(std::fmod(first, 10.0), 0.0);
    QCOMPARE(std::fmod(second, 10.0), 0.0);
    QVERIFY2(second >= first + 10.0, qPrintable(QStringLiteral("%1 then %2").arg(first).arg(second)));
}

void tst_MeasurementsWidget::extremeReadingsKeepTheLayout_data()
{
    QTest::addColumn<QString>("left");
    QTest::addColumn<QString>("dose");
    QTest::addColumn<bool>("leftFits");
    QTest::addColumn<bool>("doseFits");
    QTest::newRow("most negative") << "-2147483648" << "-1" << false << true;
    QTest::newRow("largest reading") << "2147483647" << "0" << false << true;
    QTest::newRow("dose near the 64-bit limit") << "0" << "9223372036854775807" << true << false;
    QTest::newRow("most negative dose") << "0" << "-9223372036854775808" << true << false;
    QTest::newRow("widest that fits") << "99999999" << "99999999999" << true << true;
}

void tst_MeasurementsWidget::extremeReadingsKeepTheLayout()
{
    QFETCH(QString, left);
    QFETCH(QString, dose);
    QFETCH(bool, leftFits);
    QFETCH(bool, doseFits);
    AttachedSimulator sim;
    QVERIFY(sim.attach({ "--env-fixed", "--left", left, "--dose", dose }));
    MeasurementsWidget widget;
    widget.resize(800, 500);
    widget.show();
    const QSize before = widget.minimumSizeHint();
    widget.setPollInterval(kFastPollMs);
    widget.setDevice(sim.path());
    QTRY_VERIFY(widget.timeData().size() >= 1);
    QCOMPARE(widget.minimumSizeHint(), before);

    auto *leftDisplay = child<QLCDNumber>(&widget, "leftSensorDisplay");
    auto *doseDisplay = child<QLCDNumber>(&widget, "aggregatedDisplay");
    const double leftValue = left.toLongLong() / 100.0;
    const double doseValue = double(dose.toLongLong()) / 100.0;
    if (leftFits)
        QCOMPARE(leftDisplay->value(), leftValue);
    else
        QCOMPARE(leftDisplay->toolTip(), QString::number(leftValue, 'f', 2));
    if (doseFits)
        QCOMPARE(doseDisplay->value(), doseValue);
    else
        QCOMPARE(doseDisplay->toolTip(), QString::number(doseValue, 'f', 2));
    widget.grab();
}

void tst_MeasurementsWidget::disagreementNotice_data()
{
    QTest::addColumn<QString>("left");
    QTest::addColumn<QString>("right");
    QTest::addColumn<bool>("shown");
    QTest::newRow("far apart") << "200" << "0" << true;
    QTest::newRow("close") << "200" << "150" << false;
}

void tst_MeasurementsWidget::disagreementNotice()
{
    QFETCH(QString, left);
    QFETCH(QString, right);
    QFETCH(bool, shown);
    AttachedSimulator sim;
    QVERIFY(sim.attach({ "--env-fixed", "--left", left, "--right", right }));
    MeasurementsWidget widget;
    qint64 now = 0;
    // Each reading comes five minutes after the one before.
    widget.setAgreementClock([&now] { return (now++) * SensorAgreement::kThreshold.holdMs; });
    widget.setPollInterval(kFastPollMs);
    widget.setDevice(sim.path());
    QTRY_VERIFY(widget.timeData().size() >= 1);
    QVERIFY(widget.disagreementNotice()->isHidden());
    QTRY_VERIFY(widget.timeData().size() >= 2);
    QCOMPARE(!widget.disagreementNotice()->isHidden(), shown);
    widget.clearDevice();
    QVERIFY(widget.disagreementNotice()->isHidden());
}

void tst_MeasurementsWidget::firstReadingAtOnce()
{
    AttachedSimulator sim;
    QVERIFY(sim.attach({ "--env-fixed" }));
    MeasurementsWidget widget;
    // No tick comes during the test: the reading is the one asked for at binding.
    widget.setPollInterval(3600 * 1000);
    widget.setDevice(sim.path());
    for (const char *name : { "leftSensorDisplay", "rightSensorDisplay", "averageDisplay", "aggregatedDisplay" })
        QCOMPARE(child<QLCDNumber>(&widget, name)->toolTip(), QStringLiteral("No reading yet"));
    QTRY_COMPARE(widget.timeData().size(), 1);
    QCOMPARE(widget.timeData().constFirst(), 0.0);
    QCOMPARE(shown(&widget, "leftSensorDisplay"), 12.0);
    QCOMPARE(shown(&widget, "aggregatedDisplay"), 1000.0);
    QVERIFY(child<QLCDNumber>(&widget, "leftSensorDisplay")->toolTip().isEmpty());
    QVERIFY(!widget.isStale());
}

void tst_MeasurementsWidget::failedReadsLeaveGapsOnTheTimeAxis()
{
    AttachedSimulator sim;
    QVERIFY(sim.attach({ "--wrong-length", "0x20" }));
    MeasurementsWidget widget;
    widget.setPollInterval(kFastPollMs);
    widget.setDevice(sim.path());
    // Every tick is a gap: the read failed, or the one before it is still unanswered.
    QTRY_VERIFY(widget.sampleClock() >= 30);
    QVERIFY(widget.timeData().isEmpty());
    // Nothing was ever measured: a dash, not a zero, and nothing to mark stale.
    QCOMPARE(child<QLCDNumber>(&widget, "leftSensorDisplay")->toolTip(), QStringLiteral("No reading yet"));
    QVERIFY(!widget.isStale());
}

void tst_MeasurementsWidget::readsDoNotPileUpBehindATransfer()
{
    AttachedSimulator sim;
    QVERIFY(sim.attach({ "--env-fixed", "--stat-blocks", "10", "--stat-values", "30000" }));
    Device *device = sim.device();
    QSignalSpy updated(device, &Device::dataUpdated);
    device->executeCommand(Device::ListFiles, QVariant());
    QTRY_VERIFY(updated.contains(QVariantList { int(Device::ListFiles) }));
    FileDescriptor measure;
    for (const QVariant &file : device->data(Device::ListFiles).toList()) {
        if (file.value<FileDescriptor>().fileName() == QLatin1String("MEASURE.DAT"))
            measure = file.value<FileDescriptor>();
    }
    QVERIFY(measure.isValid());

    MeasurementsWidget widget;
    widget.setPollInterval(20);
    widget.setDevice(sim.path());
    QTemporaryDir target;
    device->executeCommand(Device::ReadFile,
                           QVariantHash { { QStringLiteral("file_descriptor"), QVariant::fromValue(measure) },
                                          { QStringLiteral("file_path"), target.path() } });
    const TaskScheduler *scheduler = TaskManager::instance()->scheduler(sim.path());
    int mostPending = 0;
    QString staleTip;
    auto *left = child<QLCDNumber>(&widget, "leftSensorDisplay");
    connect(device, &Device::dataReceived, this, [&] {
        mostPending = qMax(mostPending, scheduler->pendingTasks(Device::ReadEnvironment));
        if (widget.isStale() && left->styleSheet() == QLatin1String("color: gray;"))
            staleTip = left->toolTip();
    });
    // A plain event loop: QTRY's pauses would stretch every frame of the transfer.
    QElapsedTimer clock;
    clock.start();
    while (!updated.contains(QVariantList { int(Device::ReadFile) }) && clock.elapsed() < 60000)
        updated.wait(1000);
    QVERIFY(updated.contains(QVariantList { int(Device::ReadFile) }));
    QCOMPARE(mostPending, 1);
    // The ticks that found the read still waiting are gaps on the time axis.
    QVERIFY2(widget.sampleClock() >= 50, "the transfer was too short to test anything");
    QVERIFY(widget.timeData().size() <= 2);
    // The reading taken at binding stayed, greyed, with its time, while the transfer held the reads.
    QVERIFY2(staleTip.startsWith(QLatin1String("Last reading: ")), qPrintable(staleTip));
    QTRY_VERIFY(!widget.isStale());
    QCOMPARE(shown(&widget, "leftSensorDisplay"), 12.0);
    QCOMPARE(left->styleSheet(), QStringLiteral("color: red;"));
}

void tst_MeasurementsWidget::everythingFitsTheSmallestWindow_data()
{
    addLanguageRows();
}

void tst_MeasurementsWidget::everythingFitsTheSmallestWindow()
{
    QFETCH(QString, language);
    const auto panel = showAtSmallestTab<MeasurementsWidget>(language);
    QVERIFY(panel);
    MeasurementsWidget &widget = *panel;
    QVERIFY(QTest::qWaitForWindowExposed(&widget));
    // A window never squeezes the page below this, so nothing is cut or overlapped there.
    QVERIFY2(widget.minimumSizeHint().width() <= widget.width(), qPrintable(QString::number(widget.minimumSizeHint().width())));
    QCOMPARE(widget.width(), kSmallestTabWidth);
    for (const char *name : { "label", "label_2", "label_3", "label_4" }) {
        auto *caption = child<QLabel>(&widget, name);
        QVERIFY2(caption->heightForWidth(caption->width()) <= caption->height(), qPrintable(caption->text()));
    }
    const QList<QWidget *> row { child<QWidget>(&widget, "leftSensorDisplay"), child<QWidget>(&widget, "leftSensorOverflowLabel"),
        child<QWidget>(&widget, "rightSensorDisplay"), child<QWidget>(&widget, "rightSensorOverflowLabel"),
        child<QWidget>(&widget, "averageDisplay"), child<QWidget>(&widget, "averageOwerflowLabel"),
        child<QWidget>(&widget, "aggregatedDisplay"), child<QWidget>(&widget, "setAggregateButton") };
    for (int i = 1; i < row.size(); ++i) {
        const QRect before(row.at(i - 1)->mapTo(&widget, QPoint()), row.at(i - 1)->size());
        const QRect here(row.at(i)->mapTo(&widget, QPoint()), row.at(i)->size());
        QVERIFY2(before.right() < here.left(), qPrintable(row.at(i)->objectName()));
        QVERIFY(here.right() < widget.width());
    }
    // The same digit size on all four displays, whatever their digit counts.
    auto *left = child<QLCDNumber>(&widget, "leftSensorDisplay");
    auto *dose = child<QLCDNumber>(&widget, "aggregatedDisplay");
    const double leftDigit = double(left->width()) / left->digitCount();
    const double doseDigit = double(dose->width()) / dose->digitCount();
    QVERIFY2(qAbs(leftDigit - doseDigit) <= 0.1 * leftDigit, qPrintable(QStringLiteral("%1 %2").arg(leftDigit).arg(doseDigit)));
}

void tst_MeasurementsWidget::switchingDevicesKeepsOnePollTimer()
{
    AttachedSimulator first;
    AttachedSimulator second;
    QVERIFY(first.attach({ "--env-fixed" }));
    QVERIFY(second.attach({ "--env-fixed", "--left", "4200" }));
    MeasurementsWidget widget;
    widget.setPollInterval(kFastPollMs / 3);
    TimerWatch watch;
    widget.installEventFilter(&watch);
    widget.setDevice(first.path());
    widget.setDevice(second.path());
    widget.setDevice(first.path());
    widget.setDevice(second.path());
    watch.ids.clear();
    QTRY_VERIFY(watch.ids.size() >= 6);
    QCOMPARE(QSet<int>(watch.ids.cbegin(), watch.ids.cend()).size(), 1);
    QTRY_VERIFY(!widget.timeData().isEmpty());
    QCOMPARE(shown(&widget, "leftSensorDisplay"), 42.0);

    widget.clearDevice();
    QVERIFY(!widget.isPolling());
    QVERIFY(widget.timeData().isEmpty());
    QCOMPARE(widget.sampleClock(), 0);
}

void tst_MeasurementsWidget::seriesFollowTheirCheckBoxes()
{
    MeasurementsWidget widget;
    const auto names = [&widget] {
        QStringList out;
        const QList<SeriesDescriptor> list = widget.chart()->series();
        for (const SeriesDescriptor &s : list)
            out.append(s.name);
        return out;
    };
    QCOMPARE(names(), QStringList({ "Right sensor", "Left sensor", "Average", "Aggregate" }));
    // The dose, thousands against the sensors' tenths, has a chart area and value axis of its own.
    QCOMPARE(widget.chart()->charts().size(), 2);
    QCOMPARE(widget.chart()->valueAxes().size(), 2);
    QVERIFY(widget.chart()->series().constLast().group != widget.chart()->series().constFirst().group);
    auto *aggregate = child<QCheckBox>(&widget, "aggregateCheckBox");
    aggregate->setChecked(false);
    QCOMPARE(widget.chart()->charts().size(), 1);
    aggregate->setChecked(true);
    QCOMPARE(widget.chart()->charts().size(), 2);
    auto *right = child<QCheckBox>(&widget, "rightSensorCheckBox");
    const QVector<double> *rightData = widget.chart()->series().first().y;
    right->setChecked(false);
    QCOMPARE(names(), QStringList({ "Left sensor", "Average", "Aggregate" }));
    right->setTristate(true);
    right->setCheckState(Qt::PartiallyChecked);
    QCOMPARE(names().size(), 3);
    right->setCheckState(Qt::Checked);
    QCOMPARE(names(), QStringList({ "Left sensor", "Average", "Aggregate", "Right sensor" }));
    const SeriesDescriptor again = widget.chart()->series().last();
    QCOMPARE(again.y, rightData);
    QCOMPARE(again.x, &widget.timeData());
    QCOMPARE(again.colour, QColor(32, 32, 208, 255));
}

void tst_MeasurementsWidget::alertLevels_data()
{
    QTest::addColumn<QVariant>("storedWarning");
    QTest::addColumn<QVariant>("storedCritical");
    QTest::addColumn<double>("warning");
    QTest::addColumn<double>("critical");
    QTest::newRow("defaults") << QVariant() << QVariant() << 1.0 << 2.0;
    QTest::newRow("stored") << QVariant(1.5) << QVariant(3.25) << 1.5 << 3.25;
    QTest::newRow("critical below warning clamps") << QVariant(5.0) << QVariant(2.0) << 2.0 << 2.0;
    QTest::newRow("equal") << QVariant(2.0) << QVariant(2.0) << 2.0 << 2.0;
}

void tst_MeasurementsWidget::alertLevels()
{
    QFETCH(QVariant, storedWarning);
    QFETCH(QVariant, storedCritical);
    QFETCH(double, warning);
    QFETCH(double, critical);
    {
        QSettings store = settings();
        if (storedWarning.isValid())
            store.setValue(QLatin1String(UserSettingsWindow::kWarningLevelKey), storedWarning);
        if (storedCritical.isValid())
            store.setValue(QLatin1String(UserSettingsWindow::kCriticalLevelKey), storedCritical);
    }
    UserSettingsWindow window;
    QCOMPARE(window.warningLevel(), warning);
    QCOMPARE(window.criticalLevel(), critical);

    // Lowering the critical level drags the warning level's ceiling with it; cancel restores both.
    auto *warningBox = child<QDoubleSpinBox>(&window, "warningLevelBox");
    auto *criticalBox = child<QDoubleSpinBox>(&window, "criticalLevelBox");
    criticalBox->setValue(0.5);
    QCOMPARE(warningBox->value(), 0.5);
    button(&window, "cancelButton")->click();
    QCOMPARE(window.warningLevel(), warning);
    QCOMPARE(window.criticalLevel(), critical);

    QSignalSpy changed(&window, &UserSettingsWindow::settingsChanged);
    criticalBox->setValue(7.5);
    warningBox->setValue(6.25);
    button(&window, "okButton")->click();
    QCOMPARE(changed.size(), 1);
    QCOMPARE(settings().value(QLatin1String(UserSettingsWindow::kWarningLevelKey)).toDouble(), 6.25);
    QCOMPARE(settings().value(QLatin1String(UserSettingsWindow::kCriticalLevelKey)).toDouble(), 7.5);
}

void tst_MeasurementsWidget::newLevelsColourTheNextReading()
{
    AttachedSimulator sim;
    QVERIFY(sim.attach({ "--env-fixed", "--left", "150", "--right", "100" }));
    MeasurementsWidget widget;
    widget.setPollInterval(kFastPollMs);
    widget.setDevice(sim.path());
    QTRY_VERIFY(widget.timeData().size() >= 1);
    QCOMPARE(child<QLCDNumber>(&widget, "leftSensorDisplay")->styleSheet(), QStringLiteral("color: yellow;"));

    UserSettingsWindow *window = widget.settingsWindow();
    QSignalSpy shownSpy(window, &UserSettingsWindow::settingsChanged);
    button(&widget, "levelsSettingsButton")->click();
    QVERIFY(window->isVisible());
    child<QDoubleSpinBox>(window, "criticalLevelBox")->setValue(1.5);
    button(window, "okButton")->click();
    QVERIFY(!window->isVisible());
    QTRY_VERIFY(widget.timeData().size() >= 3);
    QCOMPARE(child<QLCDNumber>(&widget, "leftSensorDisplay")->styleSheet(), QStringLiteral("color: red;"));
}

void tst_MeasurementsWidget::doseReset_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("dialogs");
    QTest::addColumn<double>("deviceDose");
    const QString prompt = QStringLiteral("Reset password");
    QTest::newRow("refused, then the right password")
        << "1234" << QStringList { prompt, "Reset aggregate dose|Aggregate dose was reset successfully." } << 0.0;
    QTest::newRow("refused, then a wrong password")
        << "0000" << QStringList { prompt, "Reset aggregate dose|Aggregate dose wasn't reset because the password was wrong." }
        << 1000.0;
    QTest::newRow("refused, then cancelled") << QString() << QStringList { prompt } << 1000.0;
}

void tst_MeasurementsWidget::doseReset()
{
    QFETCH(QString, typed);
    QFETCH(QStringList, dialogs);
    QFETCH(double, deviceDose);
    AttachedSimulator sim;
    QVERIFY(sim.attach({ "--env-fixed" }));
    MeasurementsWidget widget;
    widget.setPollInterval(kFastPollMs);
    widget.setDevice(sim.path());
    QTRY_COMPARE(shown(&widget, "aggregatedDisplay"), 1000.0);

    DialogAnswerer answerer;
    answerer.then(typed.isNull() ? DialogAnswerer::cancel() : DialogAnswerer::typePassword(typed));
    answerer.then(DialogAnswerer::ok());
    button(&widget, "resetAggregateDoseButton")->click();
    QTRY_COMPARE(answerer.seen(), dialogs);
    const int samples = widget.timeData().size();
    QTRY_VERIFY(widget.timeData().size() > samples);
    QCOMPARE(shown(&widget, "aggregatedDisplay"), deviceDose);
}

void tst_MeasurementsWidget::doseSet_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("dialogs");
    QTest::addColumn<double>("deviceDose");
    const QString dose = QStringLiteral("Set aggregate dose");
    const QString prompt = QStringLiteral("Dose set password");
    QTest::newRow("refused, then the right password")
        << "1234" << QStringList { dose, dose, prompt, "Set aggregate dose|Aggregate dose was set successfully." }
        << 12.5;
    QTest::newRow("refused, then a wrong password")
        << "0000"
        << QStringList { dose, dose, prompt, "Set aggregate dose|Aggregate dose wasn't set because the password was wrong." }
        << 1000.0;
}

void tst_MeasurementsWidget::doseSet()
{
    QFETCH(QString, typed);
    QFETCH(QStringList, dialogs);
    QFETCH(double, deviceDose);
    AttachedSimulator sim;
    QVERIFY(sim.attach({ "--env-fixed" }));
    MeasurementsWidget widget;
    widget.setPollInterval(kFastPollMs);
    widget.setDevice(sim.path());
    QTRY_COMPARE(shown(&widget, "aggregatedDisplay"), 1000.0);

    DialogAnswerer answerer;
    answerer.then(DialogAnswerer::setDose(12.5));
    answerer.then(DialogAnswerer::setDose(12.5));
    answerer.then(DialogAnswerer::typePassword(typed));
    answerer.then(DialogAnswerer::ok());
    button(&widget, "setAggregateButton")->click();
    QTRY_COMPARE(answerer.seen(), dialogs);
    const int samples = widget.timeData().size();
    QTRY_VERIFY(widget.timeData().size() > samples);
    QCOMPARE(shown(&widget, "aggregatedDisplay"), deviceDose);

    // The retry flag stays set either way: the next set asks for the password at once.
    answerer.then(DialogAnswerer::setDose(3.0));
    answerer.then(DialogAnswerer::cancel());
    button(&widget, "setAggregateButton")->click();
    QCOMPARE(answerer.seen().mid(dialogs.size()), QStringList({ QStringLiteral("Set aggregate dose"), QStringLiteral("Dose set password") }));
}

void tst_MeasurementsWidget::doseDialogDates_data()
{
    QTest::addColumn<qint64>("fromOffset");
    QTest::addColumn<QStringList>("dialogs");
    QTest::addColumn<int>("result");
    QTest::newRow("from before due") << qint64(-3600) << QStringList() << int(QDialog::Accepted);
    QTest::newRow("same moment") << qint64(0)
                                 << QStringList { "Wrong dates|From date is later than due date or the same." }
                                 << int(QDialog::Rejected);
    QTest::newRow("longer than 32 bits of seconds")
        << -(qint64(1) << 32) << QStringList { "Wrong dates|The aggregation period is too long." }
        << int(QDialog::Rejected);
}

void tst_MeasurementsWidget::doseDialogDates()
{
    QFETCH(qint64, fromOffset);
    QFETCH(QStringList, dialogs);
    QFETCH(int, result);
    AggregateDoseDialog dialog(42.5);
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QCOMPARE(dialog.value(), 42.5);
    auto *from = child<QDateTimeEdit>(&dialog, "aggregationFromTime");
    auto *due = child<QDateTimeEdit>(&dialog, "aggregationDueTime");
    const QDateTime end(QDate(2030, 6, 1), QTime(12, 0));
    due->setMinimumDateTime(QDateTime(QDate(1800, 1, 1), QTime(0, 0)));
    due->setDateTime(end);
    from->setDateTime(end.addSecs(fromOffset));
    QCOMPARE(due->minimumDateTime(), from->dateTime());
    QCOMPARE(dialog.duration(), -fromOffset);

    DialogAnswerer answerer;
    answerer.then(DialogAnswerer::ok());
    dialog.show();
    button(&dialog, "okButton")->click();
    QTRY_COMPARE(answerer.seen(), dialogs);
    QCOMPARE(dialog.result(), result);
    QCOMPARE(dialog.isVisible(), result != int(QDialog::Accepted));
}

void tst_MeasurementsWidget::deviceRemovedWhileTheDoseDialogIsOpen()
{
    AttachedSimulator sim;
    QVERIFY(sim.attach({ "--env-fixed" }));
    MeasurementsWidget widget;
    widget.setPollInterval(kFastPollMs);
    widget.setDevice(sim.path());
    QTRY_VERIFY(!widget.timeData().isEmpty());
    QPointer<Device> device = sim.device();
    DialogAnswerer answerer;
    answerer.then([&sim](QWidget *dialog) {
        sim.detach();
        DialogAnswerer::setDose(5.0)(dialog);
    });
    button(&widget, "setAggregateButton")->click();
    QCOMPARE(answerer.seen(), QStringList({ "Set aggregate dose" }));
    QVERIFY(device.isNull());
    QVERIFY(!widget.isPolling());
    QVERIFY(widget.timeData().isEmpty());
    // Nothing left to answer: no password prompt, no result box.
    button(&widget, "resetAggregateDoseButton")->click();
    QCOMPARE(answerer.seen().size(), 1);
}

QTEST_MAIN(tst_MeasurementsWidget)
#include "tst_measurementswidget.moc"
