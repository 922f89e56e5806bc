// A connected monitor with default settings logs nothing while the General and Measures tabs poll
// it; with the layers' debug lines turned on, the same polling does log.
#include "device/device.h"
#include "panels/generaldevicewidget.h"
#include "panels/measurementswidget.h"
#include "tests/panels/panelfixture.h"

#include <QLoggingCategory>
#include <QStandardPaths>
#include <QtTest>

#include <cstring>

namespace {

QStringList ourLines;

void collectOurLines(QtMsgType, const QMessageLogContext &context, const QString &message)
{
    if (context.category && std::strncmp(context.category, "varno.", 6) == 0)
        ourLines.append(QString::fromLatin1(context.category) + QStringLiteral(": ") + message);
}

} // namespace

class tst_QuietLog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void cleanup()
    {
        qInstallMessageHandler(nullptr);
        QLoggingCategory::setFilterRules(QString());
    }
    void pollingLogs_data();
    void pollingLogs();
};

void tst_QuietLog::pollingLogs_data()
{
    QTest::addColumn<QString>("rules");
    QTest::addColumn<int>("statePolls"); // the state is read once a second
    QTest::addColumn<bool>("logs");
    QTest::newRow("default: silent for 10 s") << QString() << 10 << false;
    QTest::newRow("debug on: the same polling logs") << QStringLiteral("varno.*.debug=true") << 2 << true;
}

void tst_QuietLog::pollingLogs()
{
    QFETCH(QString, rules);
    QFETCH(int, statePolls);
    QFETCH(bool, logs);
    QLoggingCategory::setFilterRules(rules);
    ourLines.clear();
    qInstallMessageHandler(collectOurLines);

    AttachedSimulator sim;
    QVERIFY(sim.attach());
    GeneralDeviceWidget general;
    general.setDevice(sim.path());
    MeasurementsWidget measures;
    measures.setDevice(sim.path());
    general.show();
    measures.show();
    QSignalSpy states(sim.device(), &Device::stateChanged);
    QTRY_VERIFY_WITH_TIMEOUT(states.size() >= statePolls, 20000 + 2000 * statePolls);

    qInstallMessageHandler(nullptr);
    QVERIFY2(ourLines.isEmpty() != logs, qPrintable(ourLines.mid(0, 5).join(QLatin1Char('\n'))));
}

QTEST_MAIN(tst_QuietLog)
#include "tst_quietlog.moc"
