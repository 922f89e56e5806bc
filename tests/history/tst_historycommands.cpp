#include "history/historycommands.h"
#include "history/historyformat.h"
#include "historytestutil.h"
#include "statisticsfixture.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

using namespace StatisticsFixture;

class tst_HistoryCommands : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void convertThenExport_data();
    void convertThenExport();
    void convertRefusesExistingOutput();
    void exportOfBadHistory();
    void parseTime_data();
    void parseTime();
    void findDeviceFile_data();
    void findDeviceFile();
    void localStatisticsPath_data();
    void localStatisticsPath();

private:
    QTemporaryDir m_dir;
    QString m_history;
};

void tst_HistoryCommands::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QLocale::setDefault(QLocale::c());
    const QString index = m_dir.filePath(QStringLiteral("MEASTIME.DAT"));
    const QString values = m_dir.filePath(QStringLiteral("MEASURE.DAT"));
    QVERIFY(writeFile(index, contiguousIndex({ { 0, 4 }, { 3600, 2 } })));
    QVERIFY(writeFile(values, words({ 0x0405, 0x0817, 0x03FF, 0x000A, 0x0401, 0x0002 })));
    const HistoryCommands::ConvertOutcome outcome = HistoryCommands::convert(
            index, values, m_dir.filePath(QStringLiteral("out.hist")));
    QVERIFY2(outcome.ok, qPrintable(outcome.error));
    QCOMPARE(outcome.rows, 6);
    QCOMPARE(outcome.start, HistoryFormat::timeBase());
    QCOMPARE(outcome.end, HistoryFormat::timeFromSeconds(3610));
    m_history = outcome.databasePath;
}

void tst_HistoryCommands::convertThenExport_data()
{
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::addColumn<QString>("comparison");
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("expected");

    QTest::newRow("everything") << "" << "" << "" << 0.0
            << "2012-01-01;00:00:00;0.5|2012-01-01;00:00:10;0.23|2012-01-01;00:00:20;1023|"
               "2012-01-01;00:00:30;10|2012-01-01;01:00:00;0.1|2012-01-01;01:00:10;2";
    QTest::newRow("value only, open range") << "" << "" << ">=" << 2.0
            << "2012-01-01;00:00:20;1023|2012-01-01;00:00:30;10|2012-01-01;01:00:10;2";
    QTest::newRow("from only") << "2012-01-01 00:30:00" << "" << "" << 0.0
            << "2012-01-01;01:00:00;0.1|2012-01-01;01:00:10;2";
    QTest::newRow("to only, value") << "" << "2012-01-01T00:00:20" << "<" << 1.0
            << "2012-01-01;00:00:00;0.5|2012-01-01;00:00:10;0.23";
    QTest::newRow("nothing matches") << "2013-01-01" << "" << "" << 0.0 << "";
}

void tst_HistoryCommands::convertThenExport()
{
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(QString, comparison);
    QFETCH(double, value);
    QFETCH(QString, expected);
    HistoryCommands::ExportOptions options;
    options.from = HistoryCommands::parseTime(from);
    options.to = HistoryCommands::parseTime(to);
    options.comparison = comparison;
    options.value = value;
    const QString csv = m_dir.filePath(QStringLiteral("export"));
    const HistoryCommands::ExportOutcome outcome
            = HistoryCommands::exportCsv(m_history, options, csv);
    QVERIFY2(outcome.ok, qPrintable(outcome.error));
    QCOMPARE(outcome.csvPath, csv + QStringLiteral(".csv"));
    QFile file(outcome.csvPath);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    QCOMPARE(lines.takeFirst(), QStringLiteral("Date; Time; Value"));
    QCOMPARE(lines.takeLast(), QString());
    QCOMPARE(lines.join(QLatin1Char('|')), expected);
    QCOMPARE(outcome.records, lines.size());
}

void tst_HistoryCommands::convertRefusesExistingOutput()
{
    const HistoryCommands::ConvertOutcome again = HistoryCommands::convert(
            m_dir.filePath(QStringLiteral("MEASTIME.DAT")),
            m_dir.filePath(QStringLiteral("MEASURE.DAT")), m_history);
    QVERIFY(!again.ok);
    QCOMPARE(HistoryTestUtil::databaseRows(m_history).count(QLatin1Char('=')), 6);

    const HistoryCommands::ConvertOutcome missing = HistoryCommands::convert(
            m_dir.filePath(QStringLiteral("nothing.dat")), m_dir.filePath(QStringLiteral("MEASURE.DAT")),
            QString(), m_dir.path());
    QVERIFY(!missing.ok);
    QVERIFY(!missing.error.isEmpty());
}

void tst_HistoryCommands::exportOfBadHistory()
{
    const QString garbage = m_dir.filePath(QStringLiteral("garbage.hist"));
    QVERIFY(writeFile(garbage, QByteArray(100, '\x17')));
    const QString csv = m_dir.filePath(QStringLiteral("garbage.csv"));
    const HistoryCommands::ExportOutcome outcome
            = HistoryCommands::exportCsv(garbage, {}, QString());
    QVERIFY(!outcome.ok);
    QVERIFY(!QFileInfo::exists(csv));
    QVERIFY(!HistoryCommands::exportCsv(m_dir.filePath(QStringLiteral("absent.hist")), {}).ok);
    QVERIFY(!QFileInfo::exists(m_dir.filePath(QStringLiteral("absent.hist"))));
}

void tst_HistoryCommands::parseTime_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QDateTime>("expected");
    const QDateTime moment(QDate(2016, 3, 14), QTime(9, 26, 50));
    QTest::newRow("space") << "2016-03-14 09:26:50" << moment;
    QTest::newRow("T") << "2016-03-14T09:26:50" << moment;
    QTest::newRow("date") << "2016-03-14" << QDateTime(QDate(2016, 3, 14), QTime(0, 0));
    QTest::newRow("garbage") << "yesterday" << QDateTime();
    QTest::newRow("empty") << "" << QDateTime();
    QTest::newRow("bad month") << "2016-13-01" << QDateTime();
}

void tst_HistoryCommands::parseTime()
{
    QFETCH(QString, text);
    QFETCH(QDateTime, expected);
    QCOMPARE(HistoryCommands::parseTime(text), expected);
}

void tst_HistoryCommands::findDeviceFile_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QString>("wanted");
    QTest::addColumn<int>("expected");
    QTest::newRow("monitor's upper case") << QStringList { "CONFIG.BIN", "MEASTIME.DAT", "MEASURE.DAT" }
                                          << "meastime.dat" << 1;
    QTest::newRow("mixed case") << QStringList { "Measure.Dat" } << "measure.dat" << 0;
    QTest::newRow("missing") << QStringList { "MEASURE.DAT" } << "meastime.dat" << -1;
    QTest::newRow("prefix is not a match") << QStringList { "MEASTIME.DAT.OLD" } << "meastime.dat"
                                           << -1;
    QTest::newRow("empty list") << QStringList() << "measure.dat" << -1;
}

void tst_HistoryCommands::findDeviceFile()
{
    QFETCH(QStringList, names);
    QFETCH(QString, wanted);
    QFETCH(int, expected);
    QCOMPARE(HistoryCommands::findDeviceFile(names, wanted), expected);
}

void tst_HistoryCommands::localStatisticsPath_data()
{
    QTest::addColumn<QString>("deviceName");
    QTest::addColumn<QString>("expected");
    QTest::newRow("time index") << "MEASTIME.DAT" << "/data/meastime.dat";
    QTest::newRow("values") << "Measure.dat" << "/data/measure.dat";
    QTest::newRow("other file") << "CONFIG.BIN" << "";
    QTest::newRow("parent folder") << ".." << "";
    QTest::newRow("path in the name") << "../meastime.dat" << "";
}

void tst_HistoryCommands::localStatisticsPath()
{
    QFETCH(QString, deviceName);
    QFETCH(QString, expected);
    QCOMPARE(HistoryCommands::localStatisticsPath(QStringLiteral("/data"), deviceName), expected);
}

QTEST_GUILESS_MAIN(tst_HistoryCommands)
#include "tst_historycommands.moc"
