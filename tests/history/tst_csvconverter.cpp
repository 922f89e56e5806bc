#include "history/csvconverter.h"
#include "history/sqlreader.h"
#include "historytestutil.h"
#include "statisticsfixture.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

class tst_CsvConverter : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void outputFileName_data();
    void outputFileName();
    void formatLine_data();
    void formatLine();
    void writesUnderUserLocale();
    void emptyListWritesHeader();
    void replacesExistingFile();
    void unwritablePath();
    void progress_data();
    void progress();
    void streamsFromDatabase_data();
    void streamsFromDatabase();
    void streamsColumnsOfAnyType();
    void failedWriteLeavesNothing_data();
    void failedWriteLeavesNothing();

private:
    static QByteArray readAll(const QString &path);
    QTemporaryDir m_dir;
};

static ValueRecord record(const QString &time, double value)
{
    return ValueRecord(QDateTime::fromString(time, QStringLiteral("yyyy-MM-dd hh:mm:ss")), value);
}

void tst_CsvConverter::initTestCase()
{
    QVERIFY(m_dir.isValid());
}

void tst_CsvConverter::cleanup()
{
    QLocale::setDefault(QLocale::system());
}

QByteArray tst_CsvConverter::readAll(const QString &path)
{
    QFile file(path);
    // Written in text mode, so lines end in CR LF on Windows; read back the same way.
    return file.open(QIODevice::ReadOnly | QIODevice::Text) ? file.readAll() : QByteArray("<missing>");
}

void tst_CsvConverter::outputFileName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("expected");
    QTest::newRow("bare name") << "report" << "report.csv";
    QTest::newRow("already .csv") << "report.csv" << "report.csv";
    QTest::newRow("upper case gets a second extension") << "report.CSV" << "report.CSV.csv";
    QTest::newRow(".csv in the middle") << "my.csv.bak" << "my.csv.bak";
    QTest::newRow("a folder named .csv") << "/tmp/exports.csv/report"
                                          << "/tmp/exports.csv/report.csv";
#ifndef Q_OS_WIN // devices are no files there
    QTest::newRow("a device, as named") << "/dev/null" << "/dev/null";
#endif
    QTest::newRow("other extension") << "report.txt" << "report.txt.csv";
}

void tst_CsvConverter::outputFileName()
{
    QFETCH(QString, name);
    QFETCH(QString, expected);
    QCOMPARE(CsvConverter::outputFileName(name), expected);
}

void tst_CsvConverter::formatLine_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("time");
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("expected");

    QTest::newRow("english") << "en_US" << "2016-03-14 09:26:50" << 0.12
                             << "2016-03-14;09:26:50;0.12";
    QTest::newRow("decimal comma") << "de_DE" << "2016-03-14 09:26:50" << 0.12
                                   << "2016-03-14;09:26:50;0,12";
    QTest::newRow("single precision read-back") << "en_US" << "2016-03-14 09:26:50"
                                                << double(0.12f) << "2016-03-14;09:26:50;0.12";
    QTest::newRow("english grouping") << "en_US" << "2016-03-14 23:59:59" << 1023.0
                                      << "2016-03-14;23:59:59;1,023";
    QTest::newRow("german grouping") << "de_DE" << "2016-03-14 00:00:00" << 1023.0
                                     << "2016-03-14;00:00:00;1.023";
    QTest::newRow("C locale") << "C" << "2012-01-01 00:00:00" << 10.23
                              << "2012-01-01;00:00:00;10.23";
    QTest::newRow("zero") << "de_DE" << "2012-01-01 12:00:00" << 0.0 << "2012-01-01;12:00:00;0";
    QTest::newRow("six significant digits") << "en_US" << "2012-01-01 12:00:00" << 0.1234567
                                            << "2012-01-01;12:00:00;0.123457";
}

void tst_CsvConverter::formatLine()
{
    QFETCH(QString, locale);
    QFETCH(QString, time);
    QFETCH(double, value);
    QFETCH(QString, expected);
    QCOMPARE(CsvConverter::formatLine(record(time, value), QLocale(locale)), expected);
}

void tst_CsvConverter::writesUnderUserLocale()
{
    QLocale::setDefault(QLocale(QStringLiteral("de_DE")));
    const QString path = m_dir.filePath(QStringLiteral("user"));
    CsvConverter converter(path, { record(QStringLiteral("2016-03-14 09:26:50"), 0.12),
                                   record(QStringLiteral("2016-03-14 09:27:00"), 5) });
    QSignalSpy finished(&converter, &QThread::finished);
    converter.start();
    QTRY_COMPARE(finished.size(), 1);
    QCOMPARE(readAll(path + QStringLiteral(".csv")),
             QByteArray("Date; Time; Value\n2016-03-14;09:26:50;0,12\n2016-03-14;09:27:00;5\n"));
}

void tst_CsvConverter::emptyListWritesHeader()
{
    const QString path = m_dir.filePath(QStringLiteral("empty.csv"));
    CsvConverter converter(path, ValueRecordList());
    QVERIFY(converter.write());
    QCOMPARE(readAll(path), QByteArray("Date; Time; Value\n"));
}

void tst_CsvConverter::replacesExistingFile()
{
    const QString path = m_dir.filePath(QStringLiteral("old.csv"));
    QVERIFY(StatisticsFixture::writeFile(path, QByteArray(4096, 'x')));
    CsvConverter converter(path, { record(QStringLiteral("2016-03-14 09:26:50"), 1) });
    QVERIFY(converter.write());
    QCOMPARE(readAll(path), QByteArray("Date; Time; Value\n2016-03-14;09:26:50;1\n"));
}

void tst_CsvConverter::unwritablePath()
{
    const QString path = m_dir.filePath(QStringLiteral("no/such/folder/out.csv"));
    CsvConverter converter(path, { record(QStringLiteral("2016-03-14 09:26:50"), 1) });
    QSignalSpy progress(&converter, &CsvConverter::progress);
    QVERIFY(!converter.write());
    QVERIFY(!QFileInfo::exists(path));
    QCOMPARE(progress.size(), 0);
}

void tst_CsvConverter::progress_data()
{
    QTest::addColumn<int>("records");
    QTest::addColumn<int>("emissions");
    QTest::addColumn<int>("lastPercent");
    QTest::newRow("one") << 1 << 1 << 0;
    QTest::newRow("three") << 3 << 3 << 66;
    QTest::newRow("thousand, once per percent") << 1000 << 100 << 99;
}

void tst_CsvConverter::progress()
{
    QFETCH(int, records);
    QFETCH(int, emissions);
    QFETCH(int, lastPercent);
    ValueRecordList list;
    for (int i = 0; i < records; ++i)
        list.append(ValueRecord(QDateTime(QDate(2016, 1, 1), QTime(0, 0)).addSecs(i), i));
    CsvConverter converter(m_dir.filePath(QStringLiteral("progress.csv")), list);
    QSignalSpy spy(&converter, &CsvConverter::progress);
    QVERIFY(converter.write());
    QCOMPARE(spy.size(), emissions);
    QCOMPARE(spy.first().at(0).toString(), QStringLiteral("Export CVS"));
    QCOMPARE(spy.last().at(1).toInt(), lastPercent);
}

void tst_CsvConverter::streamsFromDatabase_data()
{
    QTest::addColumn<bool>("filtered");
    QTest::addColumn<int>("comparison");
    QTest::addColumn<double>("value");
    QTest::newRow("everything") << false << int(SQLReader::NoValueFilter) << 0.0;
    QTest::newRow("range and value") << true << int(SQLReader::Greater) << 0.5;
}

// Rows streamed from the database give the file the records read by SQLReader would give.
void tst_CsvConverter::streamsFromDatabase()
{
    QFETCH(bool, filtered);
    QFETCH(int, comparison);
    QFETCH(double, value);
    QLocale::setDefault(QLocale(QStringLiteral("de_DE")));
    const QString history = m_dir.filePath(QStringLiteral("stream-%1.hist").arg(QTest::currentDataTag()));
    QVERIFY(HistoryTestUtil::execute(
            history, { QStringLiteral("CREATE TABLE records_table (time TIMESTAMP PRIMARY KEY NOT "
                                      "NULL, value REAL);"),
                       QStringLiteral("INSERT INTO records_table VALUES ('2016-03-14 09:26:50', 0.12)"),
                       QStringLiteral("INSERT INTO records_table VALUES ('2016-03-14 09:27:00', 1023)"),
                       QStringLiteral("INSERT INTO records_table VALUES ('2016-03-14 09:27:10', 0.7)"),
                       QStringLiteral("INSERT INTO records_table VALUES ('not a time', 2)") }));
    const QDateTime start(QDate(2016, 3, 14), QTime(9, 26, 55));
    const QDateTime end(QDate(2016, 3, 14), QTime(10, 0));
    SQLReader reader(history);
    if (filtered) {
        reader.setStart(start);
        reader.setEnd(end);
        reader.setValueFilter(comparison, value);
    }
    QVERIFY(reader.readHistory(history));
    const QString fromRecords = m_dir.filePath(QStringLiteral("records.csv"));
    QVERIFY(CsvConverter(fromRecords, reader.results()).write());

    const QString streamed = m_dir.filePath(QStringLiteral("streamed.csv"));
    CsvConverter converter(streamed, history);
    if (filtered)
        converter.setFilter(start, end, comparison, value);
    QVERIFY(converter.write());
    QCOMPARE(converter.recordCount(), reader.records().size());
    QCOMPARE(readAll(streamed), readAll(fromRecords));
    QVERIFY(readAll(streamed).contains(filtered ? "09:27:10;0,7" : "09:26:50;0,12"));
}

// Times and values stored as other types than text and number give the lines their records give.
void tst_CsvConverter::streamsColumnsOfAnyType()
{
    const QString history = m_dir.filePath(QStringLiteral("types.hist"));
    QVERIFY(HistoryTestUtil::execute(
            history, { QStringLiteral("CREATE TABLE records_table (time, value);"),
                       QStringLiteral("INSERT INTO records_table VALUES (1451606400, 1), (1.5, 2), "
                                      "(NULL, 3), (x'323031362d30312d30312030303a30303a3030', 4), "
                                      "('2016-01-01 00:00:0\u00e9', 5), ('2016-01-01 00:00:00', "
                                      "' 2.5 '), ('2016-01-01 00:00:00', '1.5x'), "
                                      "('2016-01-01 00:00:00', NULL), ('2016-01-01 00:00:00', x'312e35')") }));
    SQLReader reader(history);
    QVERIFY(reader.readHistory(history));
    const QString fromRecords = m_dir.filePath(QStringLiteral("types-records.csv"));
    QVERIFY(CsvConverter(fromRecords, reader.results()).write());
    const QString streamed = m_dir.filePath(QStringLiteral("types-streamed.csv"));
    CsvConverter converter(streamed, history);
    QVERIFY(converter.write());
    QCOMPARE(converter.recordCount(), 9);
    QCOMPARE(readAll(streamed), readAll(fromRecords));
    QVERIFY(readAll(streamed).contains("\n2016-01-01;00:00:00;4\n"));
}

void tst_CsvConverter::failedWriteLeavesNothing_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("reason");
    QTest::newRow("full disk") << "/dev/full" << "No space left on device";
    QTest::newRow("missing folder") << "@/no/such/folder/out.csv" << "";
}

void tst_CsvConverter::failedWriteLeavesNothing()
{
    QFETCH(QString, target);
    QFETCH(QString, reason);
    if (target.startsWith(QLatin1Char('@')))
        target = m_dir.path() + target.mid(1);
    if (!QFileInfo::exists(QStringLiteral("/dev/full")) && target == QLatin1String("/dev/full"))
        QSKIP("no /dev/full here");
    const QStringList before = QDir(m_dir.path()).entryList(QDir::Files);
    ValueRecordList many;
    // More than one write buffer, so the failure comes mid-way, not at the end.
    for (int i = 0; i < 20000; ++i)
        many.append(record(QStringLiteral("2016-03-14 09:26:50"), i));
    CsvConverter converter(target, many);
    QVERIFY(!converter.write());
    QVERIFY(!converter.succeeded());
    QVERIFY2(converter.errorString().contains(reason), qPrintable(converter.errorString()));
    QVERIFY(!converter.errorString().isEmpty());
    QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files), before);
}

QTEST_GUILESS_MAIN(tst_CsvConverter)
#include "tst_csvconverter.moc"
