#include "history/historyconverter.h"
#include "history/historyfilereader.h"
#include "history/historyformat.h"
#include "history/sqlreader.h"
#include "historytestutil.h"
#include "statisticsfixture.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <ctime>

using namespace StatisticsFixture;

class tst_HistoryConverter : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void fileNameAndProgress();
    void runsOnItsThread();
    void rows_data();
    void rows();
    void valueColumnIsReal();
    void noDatabase_data();
    void noDatabase();
    void sameSecondGetsFreeName();
    void parallelRunsKeepTheirConnections();
    void upperCaseNamesFromTheMonitor();
    void missingOutputDirectory();
    void daylightSavingRepeat();
    void cancelLeavesNothing();

private:
    void saveStatistics(const QByteArray &index, const QByteArray &values,
                        const QString &indexName = QStringLiteral("meastime.dat"),
                        const QString &valueName = QStringLiteral("measure.dat"));
    QStringList histories() const;

    QTemporaryDir m_home;
    QString m_data;
};

void tst_HistoryConverter::initTestCase()
{
    QVERIFY2(m_home.isValid(), qPrintable(m_home.errorString()));
#ifdef Q_OS_WIN
    // The home folder is the profile's whatever the environment says: the histories go to a folder
    // of this run's own there, never into the user's own.
    QCoreApplication::setApplicationName(QStringLiteral("VARNO Device Manager test ")
                                         + QFileInfo(m_home.path()).fileName());
    m_data = HistoryFormat::dataDirectory();
    QCOMPARE(m_data, QDir::homePath() + QLatin1Char('/') + QCoreApplication::applicationName());
#else
    qputenv("HOME", QFile::encodeName(m_home.path()));
    QCoreApplication::setApplicationName(QStringLiteral("VARNO Device Manager"));
    m_data = HistoryFormat::dataDirectory();
    QCOMPARE(m_data, m_home.path() + QStringLiteral("/VARNO Device Manager"));
#endif
}

void tst_HistoryConverter::cleanupTestCase()
{
    QDir(m_data).removeRecursively();
}

void tst_HistoryConverter::init()
{
    QDir(m_data).removeRecursively();
    QVERIFY(QDir().mkpath(m_data));
}

void tst_HistoryConverter::saveStatistics(const QByteArray &index, const QByteArray &values,
                                          const QString &indexName, const QString &valueName)
{
    QVERIFY(writeFile(QDir(m_data).filePath(indexName), index));
    QVERIFY(writeFile(QDir(m_data).filePath(valueName), values));
}

QStringList tst_HistoryConverter::histories() const
{
    return QDir(m_data).entryList({ QStringLiteral("*.hist") }, QDir::Files, QDir::Name);
}

void tst_HistoryConverter::fileNameAndProgress()
{
    saveStatistics(contiguousIndex({ { 0, 150 }, { 5000, 100 } }), countingWords(250));
    HistoryConverter converter;
    converter.setStartedAt(QDateTime(QDate(2016, 3, 14), QTime(9, 26, 53)));
    QSignalSpy progress(&converter, &HistoryConverter::progress);
    converter.convert();

    QCOMPARE(QDir::fromNativeSeparators(converter.databasePath()),
             m_data + QStringLiteral("/2016.03.14 09-26-53.hist"));
    QCOMPARE(histories(), QStringList { QStringLiteral("2016.03.14 09-26-53.hist") });
    QCOMPARE(converter.startTime(), HistoryFormat::timeBase());
    QCOMPARE(converter.endTime(), HistoryFormat::timeFromSeconds(5990));

    QVERIFY(progress.size() > 2);
    QCOMPARE(progress.at(0).at(0).toString(), QStringLiteral("History parsing"));
    QCOMPARE(progress.at(0).at(1).toInt(), -1);
    QCOMPARE(progress.at(1).at(0).toString(), QStringLiteral("Converting"));
    QCOMPARE(progress.at(1).at(1).toInt(), 0);
    for (int i = 2; i < progress.size(); ++i) {
        QCOMPARE(progress.at(i).at(0).toString(), QStringLiteral("Converting"));
        QVERIFY2(progress.at(i).at(1).toInt() > progress.at(i - 1).at(1).toInt(),
                 "percentages only rise and only change is reported");
    }
    QCOMPARE(progress.size(), 1 + 100); // 0..99 over 250 records
    QCOMPARE(converter.rowCount(), 250);
}

void tst_HistoryConverter::runsOnItsThread()
{
    saveStatistics(blockRecord(0, 0) + blockRecord(100, 4), countingWords(4));
    HistoryConverter converter;
    QSignalSpy finished(&converter, &QThread::finished);
    QSignalSpy progress(&converter, &HistoryConverter::progress);
    converter.start();
    QTRY_COMPARE(finished.size(), 1);
    QVERIFY(!converter.databasePath().isEmpty());
    QCOMPARE(HistoryTestUtil::databaseRows(converter.databasePath()),
             QStringLiteral("2012-01-01 00:00:00=1 2012-01-01 00:00:10=2 "
                            "2012-01-01 00:01:40=3 2012-01-01 00:01:50=4"));
    QCOMPARE(progress.size(), 1 + 4);
}

void tst_HistoryConverter::rows_data()
{
    QTest::addColumn<QByteArray>("index");
    QTest::addColumn<QByteArray>("values");
    QTest::addColumn<QString>("expected");

    QTest::newRow("later block replaces the overlapped part")
            << contiguousIndex({ { 0, 4 }, { 15, 2 } }) << countingWords(6)
            << "2012-01-01 00:00:00=1 2012-01-01 00:00:15=5 2012-01-01 00:00:25=6";
    QTest::newRow("decimal values")
            << blockRecord(0, 0) << words({ 0x080C, 0x0405, 0x0BFF, 0x03FF })
            << "2012-01-01 00:00:00=0.12 2012-01-01 00:00:10=0.5 2012-01-01 00:00:20=10.23 "
               "2012-01-01 00:00:30=1023";
    // The walk used to stop at the first record sharing the last record's time.
    QTest::newRow("single values: earlier record shares the last time")
            << valueRecord(100, 0) + valueRecord(50, 2) + valueRecord(70, 4) + valueRecord(100, 6)
            << countingWords(4)
            << "2012-01-01 00:01:40=1 2012-01-01 00:00:50=2 2012-01-01 00:01:10=3";
    QTest::newRow("single values: one row per second, first one kept")
            << valueRecord(0, 0) + valueRecord(0, 2) + valueRecord(1, 4) << countingWords(3)
            << "2012-01-01 00:00:00=1 2012-01-01 00:00:01=3";
    QTest::newRow("single value")
            << valueRecord(3600, 0) << words({ 0x0817 }) << "2012-01-01 01:00:00=0.23";
}

void tst_HistoryConverter::rows()
{
    QFETCH(QByteArray, index);
    QFETCH(QByteArray, values);
    QFETCH(QString, expected);
    saveStatistics(index, values);
    HistoryConverter converter;
    converter.convert();
    QVERIFY2(!converter.databasePath().isEmpty(), qPrintable(converter.errorString()));
    QCOMPARE(HistoryTestUtil::databaseRows(converter.databasePath()), expected);
}

void tst_HistoryConverter::valueColumnIsReal()
{
    saveStatistics(blockRecord(0, 0), words({ 0x080C, 0x03FF }));
    HistoryConverter converter;
    converter.convert();
    QCOMPARE(HistoryTestUtil::databaseRows(converter.databasePath(), QStringLiteral("typeof(value)")),
             QStringLiteral("2012-01-01 00:00:00=real 2012-01-01 00:00:10=real"));
}

void tst_HistoryConverter::noDatabase_data()
{
    QTest::addColumn<bool>("haveIndex");
    QTest::addColumn<QByteArray>("index");
    QTest::addColumn<QByteArray>("values");

    QTest::newRow("no time index") << false << QByteArray() << countingWords(2);
    QTest::newRow("empty time index") << true << QByteArray() << countingWords(2);
    QTest::newRow("unknown layout byte") << true << blockRecord(0, 0, 0x42) << countingWords(2);
    QTest::newRow("index shorter than a record") << true << QByteArray("\x80\x00", 2)
                                                 << countingWords(2);
    QTest::newRow("no value file") << true << blockRecord(0, 0) << QByteArray();
    QTest::newRow("every offset past the value file")
            << true << valueRecord(0, 10) + valueRecord(10, 20) << countingWords(2);
}

void tst_HistoryConverter::noDatabase()
{
    QFETCH(bool, haveIndex);
    QFETCH(QByteArray, index);
    QFETCH(QByteArray, values);
    if (haveIndex)
        QVERIFY(writeFile(QDir(m_data).filePath(QStringLiteral("meastime.dat")), index));
    if (!values.isEmpty())
        QVERIFY(writeFile(QDir(m_data).filePath(QStringLiteral("measure.dat")), values));
    HistoryConverter converter;
    QSignalSpy progress(&converter, &HistoryConverter::progress);
    converter.convert();
    QVERIFY(converter.databasePath().isEmpty());
    QVERIFY(!converter.errorString().isEmpty());
    QCOMPARE(histories(), QStringList());
    QCOMPARE(progress.size(), 1);
    QCOMPARE(progress.at(0).at(1).toInt(), -1);
}

void tst_HistoryConverter::sameSecondGetsFreeName()
{
    saveStatistics(blockRecord(0, 0), countingWords(3));
    const QDateTime second(QDate(2016, 3, 14), QTime(9, 26, 53));
    HistoryConverter first;
    HistoryConverter again;
    first.setStartedAt(second);
    again.setStartedAt(second);
    first.convert();
    again.convert();
    QCOMPARE(histories(),
             QStringList({ QStringLiteral("2016.03.14 09-26-53 (2).hist"),
                           QStringLiteral("2016.03.14 09-26-53.hist") }));
    QCOMPARE(QFileInfo(again.databasePath()).fileName(), QStringLiteral("2016.03.14 09-26-53 (2).hist"));
    QCOMPARE(HistoryTestUtil::databaseRows(first.databasePath()),
             HistoryTestUtil::databaseRows(again.databasePath()));
}

void tst_HistoryConverter::parallelRunsKeepTheirConnections()
{
    saveStatistics(contiguousIndex({ { 0, 3000 } }), countingWords(3000));
    HistoryConverter seed;
    seed.convert();
    QVERIFY(!seed.databasePath().isEmpty());

    const QDateTime second(QDate(2020, 1, 2), QTime(3, 4, 5));
    HistoryConverter a;
    HistoryConverter b;
    a.setStartedAt(second);
    b.setStartedAt(second);
    SQLReader reader(seed.databasePath());
    QSignalSpy aDone(&a, &QThread::finished);
    QSignalSpy bDone(&b, &QThread::finished);
    QSignalSpy readDone(&reader, &QThread::finished);
    a.start();
    reader.start();
    b.start();
    QTRY_COMPARE(aDone.size(), 1);
    QTRY_COMPARE(bDone.size(), 1);
    QTRY_COMPARE(readDone.size(), 1);
    QVERIFY(!reader.error());
    QCOMPARE(reader.results().size(), 3000);
    QVERIFY(!a.databasePath().isEmpty());
    QVERIFY(!b.databasePath().isEmpty());
    QVERIFY(a.databasePath() != b.databasePath());
    QCOMPARE(a.rowCount(), 3000);
    QCOMPARE(b.rowCount(), 3000);
}

void tst_HistoryConverter::upperCaseNamesFromTheMonitor()
{
    saveStatistics(blockRecord(0, 0), countingWords(2), QStringLiteral("MEASTIME.DAT"),
                   QStringLiteral("MEASURE.DAT"));
    HistoryConverter converter;
    converter.convert();
    QCOMPARE(HistoryTestUtil::databaseRows(converter.databasePath()),
             QStringLiteral("2012-01-01 00:00:00=1 2012-01-01 00:00:10=2"));
}

void tst_HistoryConverter::missingOutputDirectory()
{
    saveStatistics(blockRecord(0, 0), countingWords(2));
    HistoryConverter converter;
    converter.setOutputDirectory(m_home.filePath(QStringLiteral("not/there")));
    converter.convert();
    QVERIFY(converter.databasePath().isEmpty());
    QVERIFY(!QDir(m_home.filePath(QStringLiteral("not"))).exists());

    HistoryConverter exact;
    const QString taken = QDir(m_data).filePath(QStringLiteral("taken.hist"));
    QVERIFY(writeFile(taken, "keep"));
    exact.setOutputFile(taken);
    exact.convert();
    QVERIFY(exact.databasePath().isEmpty());
    QFile kept(taken);
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), QByteArray("keep"));
}

void tst_HistoryConverter::daylightSavingRepeat()
{
    // Berlin's clocks go back from 03:00 to 02:00 on 28 October 2012: 02:30 happens twice and
    // the database, keyed by local time text, can hold only one of the two.
    const QDateTime firstPass(QDate(2012, 10, 28), QTime(2, 30, 0), Qt::OffsetFromUTC, 7200);
    if (firstPass.toLocalTime().time() != QTime(2, 30))
        QSKIP("The local zone is not Berlin's: Windows takes it from the system, not from TZ");
    const qint64 seconds = HistoryFormat::timeBase().secsTo(firstPass);
    saveStatistics(valueRecord(quint32(seconds), 0) + valueRecord(quint32(seconds + 3600), 2)
                           + valueRecord(quint32(seconds + 7200), 4),
                   countingWords(3));
    HistoryConverter converter;
    converter.convert();
    QCOMPARE(HistoryTestUtil::databaseRows(converter.databasePath()),
             QStringLiteral("2012-10-28 02:30:00=1 2012-10-28 03:30:00=3"));
    QCOMPARE(converter.rowCount(), 2);
    QCOMPARE(converter.repeatedHourLosses(), 1);
    QCOMPARE(HistoryConverter::repeatedHourText(1),
             QStringLiteral("1 readings in the repeated hour at the change from summer time were "
                            "not stored"));

    // A second reading for one and the same moment is no clock change.
    saveStatistics(valueRecord(100, 0) + valueRecord(100, 2), countingWords(2));
    HistoryConverter twice;
    twice.convert();
    QCOMPARE(twice.rowCount(), 1);
    QCOMPARE(twice.repeatedHourLosses(), 0);
}

void tst_HistoryConverter::cancelLeavesNothing()
{
    saveStatistics(contiguousIndex({ { 0, 20000 } }), countingWords(20000));
    const QStringList statistics = QDir(m_data).entryList(QDir::Files, QDir::Name);
    HistoryConverter converter;
    // Direct: the request lands while rows are going in.
    connect(&converter, &HistoryConverter::progress, &converter,
            [&converter](const QString &, int percent) {
                if (percent == 30)
                    converter.cancel();
            },
            Qt::DirectConnection);
    converter.convert();
    QVERIFY(converter.wasCancelled());
    QVERIFY(converter.databasePath().isEmpty());
    // No history, no temporary file; the statistics stay for another try.
    QCOMPARE(QDir(m_data).entryList(QDir::Files, QDir::Name), statistics);
}

int main(int argc, char **argv)
{
    qputenv("TZ", "Europe/Berlin");
    tzset();
    QCoreApplication app(argc, argv);
    tst_HistoryConverter test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_historyconverter.moc"
