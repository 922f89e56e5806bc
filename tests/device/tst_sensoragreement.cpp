// When two sensors count as disagreeing: the threshold's edges and the five minutes it must last.

#include "device/environmentstate.h"
#include "device/sensoragreement.h"

#include <QTest>

#include <limits>

class TestSensorAgreement : public QObject
{
    Q_OBJECT

private slots:
    void differ_data();
    void differ();
    void lasting_data();
    void lasting();
    void displayText_data();
    void displayText();
};

void TestSensorAgreement::differ_data()
{
    QTest::addColumn<double>("left");
    QTest::addColumn<double>("right");
    QTest::addColumn<bool>("differ");
    QTest::newRow("equal") << 1.0 << 1.0 << false;
    QTest::newRow("exactly half of the larger") << 2.0 << 1.0 << false;
    QTest::newRow("more than half") << 2.0 << 0.99 << true;
    QTest::newRow("more than half, other side") << 0.99 << 2.0 << true;
    QTest::newRow("more than half but 0.2 or less") << 0.2 << 0.0 << false;
    QTest::newRow("more than half and more than 0.2") << 0.21 << 0.0 << true;
    QTest::newRow("both zero") << 0.0 << 0.0 << false;
    QTest::newRow("large, far apart") << 1000.0 << 400.0 << true;
    QTest::newRow("large, close") << 1000.0 << 600.0 << false;
}

void TestSensorAgreement::differ()
{
    QFETCH(double, left);
    QFETCH(double, right);
    QFETCH(bool, differ);
    QCOMPARE(SensorAgreement::differ(left, right), differ);
}

void TestSensorAgreement::lasting_data()
{
    // Readings as "seconds:left:right", and the verdict after each.
    QTest::addColumn<QStringList>("readings");
    QTest::addColumn<QString>("verdicts");
    QTest::newRow("agreeing") << QStringList { "0:1:1", "400:1:1" } << "--";
    QTest::newRow("just under five minutes") << QStringList { "0:2:0", "299:2:0" } << "--";
    QTest::newRow("five minutes") << QStringList { "0:2:0", "150:2:0", "300:2:0", "301:2:0" } << "--DD";
    QTest::newRow("clears at once") << QStringList { "0:2:0", "300:2:0", "301:1:1" } << "-D-";
    QTest::newRow("one agreeing reading starts the run again")
        << QStringList { "0:2:0", "200:1:1", "201:2:0", "400:2:0", "501:2:0" } << "----D";
    QTest::newRow("clock going back starts the run again") << QStringList { "300:2:0", "0:2:0", "299:2:0" } << "---";
}

void TestSensorAgreement::lasting()
{
    QFETCH(QStringList, readings);
    QFETCH(QString, verdicts);
    SensorAgreement agreement;
    QString seen;
    for (const QString &reading : readings) {
        const QStringList parts = reading.split(QLatin1Char(':'));
        seen += agreement.add(parts.at(0).toLongLong() * 1000, parts.at(1).toDouble(), parts.at(2).toDouble())
            ? QLatin1Char('D') : QLatin1Char('-');
    }
    QCOMPARE(seen, verdicts);
    agreement.reset();
    QVERIFY(!agreement.disagree());
}

void TestSensorAgreement::displayText_data()
{
    QTest::addColumn<qint64>("hundredths");
    QTest::addColumn<QString>("text");
    QTest::newRow("zero") << qint64(0) << "0.00";
    QTest::newRow("one hundredth") << qint64(1) << "0.01";
    QTest::newRow("negative") << qint64(-5) << "-0.05";
    QTest::newRow("whole") << qint64(100000) << "1000.00";
    QTest::newRow("beyond a double's exact range") << qint64(9007199254740993) << "90071992547409.93";
    QTest::newRow("smallest") << std::numeric_limits<qint64>::min() << "-92233720368547758.08";
}

void TestSensorAgreement::displayText()
{
    QFETCH(qint64, hundredths);
    QFETCH(QString, text);
    QCOMPARE(EnvironmentState::displayText(hundredths), text);
}

QTEST_GUILESS_MAIN(TestSensorAgreement)
#include "tst_sensoragreement.moc"
