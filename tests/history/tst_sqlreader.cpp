#include "history/historyformat.h"
#include "history/sqlreader.h"
#include "historytestutil.h"
#include "statisticsfixture.h"

#include <QDir>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

class tst_SQLReader : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void queryText_data();
    void queryText();
    void filters_data();
    void filters();
    void filtersStayUntilSetAgain();
    void singlePrecision();
    void progress_data();
    void progress();
    void badFiles_data();
    void badFiles();
    void emptyFileNameSkipsRead();
    void unparsableTimeStays();
    void columnsReadAsQtReadsThem_data();
    void columnsReadAsQtReadsThem();
    void truncatedDatabaseFails();
    void runsOnItsThread();

private:
    // A history database with the given "time=value" rows, written by plain SQL.
    QString makeDatabase(const QString &name, const QStringList &rows);
    static QString describe(const ValueRecordList &records);

    QTemporaryDir m_dir;
    QString m_sample;
};

static QDateTime at(const QString &text)
{
    return QDateTime::fromString(text, QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

void tst_SQLReader::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_sample = makeDatabase(QStringLiteral("sample.hist"),
                            { QStringLiteral("2016-03-14 09:26:50=0.12"),
                              QStringLiteral("2016-03-14 09:27:00=9"),
                              QStringLiteral("2016-03-14 09:27:10=10"),
                              QStringLiteral("2016-03-14 09:27:20=0.5"),
                              QStringLiteral("2016-03-15 00:00:00=1023") });
}

QString tst_SQLReader::makeDatabase(const QString &name, const QStringList &rows)
{
    const QString path = m_dir.filePath(name);
    QStringList statements { QStringLiteral(
            "CREATE TABLE records_table (time TIMESTAMP PRIMARY KEY NOT NULL, value REAL);") };
    for (const QString &row : rows) {
        const QStringList parts = row.split(QLatin1Char('='));
        statements << QStringLiteral("INSERT INTO records_table VALUES ('%1', '%2');")
                              .arg(parts.at(0), parts.at(1));
    }
    if (!HistoryTestUtil::execute(path, statements))
        return QString();
    return path;
}

QString tst_SQLReader::describe(const ValueRecordList &records)
{
    QStringList out;
    for (const ValueRecord &r : records)
        out << HistoryFormat::formatRecordTime(r.time()).mid(11) + QLatin1Char('=')
                        + QString::number(r.value(), 'g', 6);
    return out.join(QLatin1Char(' '));
}

void tst_SQLReader::queryText_data()
{
    QTest::addColumn<bool>("startValid");
    QTest::addColumn<bool>("endValid");
    QTest::addColumn<QString>("comparison");
    QTest::addColumn<QString>("expected");

    const QString all = QStringLiteral("SELECT time, value FROM records_table;");
    const QString range = QStringLiteral(
            "SELECT time, value FROM records_table WHERE time >= :start AND time <= :end");
    QTest::newRow("range and >") << true << true << ">" << range + " AND value > :value";
    QTest::newRow("range and <") << true << true << "<" << range + " AND value < :value";
    QTest::newRow("range and <=") << true << true << "<=" << range + " AND value <= :value";
    QTest::newRow("range and =") << true << true << "=" << range + " AND value = :value";
    QTest::newRow("range and >=") << true << true << ">=" << range + " AND value >= :value";
    QTest::newRow("range, empty comparison") << true << true << "" << range;
    QTest::newRow("range, unknown comparison") << true << true << "=>" << range;
    QTest::newRow("no end: everything") << true << false << ">" << all;
    QTest::newRow("no start: everything") << false << true << "<" << all;
    QTest::newRow("no bounds") << false << false << "" << all;
}

void tst_SQLReader::queryText()
{
    QFETCH(bool, startValid);
    QFETCH(bool, endValid);
    QFETCH(QString, comparison);
    QFETCH(QString, expected);
    SQLReader reader;
    if (startValid)
        reader.setStart(at(QStringLiteral("2016-03-14 00:00:00")));
    if (endValid)
        reader.setEnd(at(QStringLiteral("2016-03-15 00:00:00")));
    reader.setValueFilter(comparison, 0.5);
    QCOMPARE(reader.queryText(), expected);
}

void tst_SQLReader::filters_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("end");
    QTest::addColumn<QString>("comparison");
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("expected");

    QTest::newRow("no filter, first row included") << "" << "" << "" << 0.0
            << "09:26:50=0.12 09:27:00=9 09:27:10=10 09:27:20=0.5 00:00:00=1023";
    QTest::newRow("bounds are inclusive") << "2016-03-14 09:27:00" << "2016-03-14 09:27:20" << ""
                                          << 0.0 << "09:27:00=9 09:27:10=10 09:27:20=0.5";
    QTest::newRow("> compares numbers, not text")
            << "2016-03-14 00:00:00" << "2016-03-15 00:00:00" << ">" << 9.5
            << "09:27:10=10 00:00:00=1023";
    QTest::newRow(">= 0.5") << "2016-03-14 00:00:00" << "2016-03-15 00:00:00" << ">=" << 0.5
                            << "09:27:00=9 09:27:10=10 09:27:20=0.5 00:00:00=1023";
    QTest::newRow("< 0.5") << "2016-03-14 00:00:00" << "2016-03-15 00:00:00" << "<" << 0.5
                           << "09:26:50=0.12";
    QTest::newRow("<= 9") << "2016-03-14 00:00:00" << "2016-03-14 23:59:59" << "<=" << 9.0
                          << "09:26:50=0.12 09:27:00=9 09:27:20=0.5";
    QTest::newRow("= 0.12") << "2016-03-14 00:00:00" << "2016-03-15 00:00:00" << "=" << 0.12
                            << "09:26:50=0.12";
    QTest::newRow("value filter ignored without end")
            << "2016-03-14 09:27:00" << "" << ">" << 100.0
            << "09:26:50=0.12 09:27:00=9 09:27:10=10 09:27:20=0.5 00:00:00=1023";
    QTest::newRow("empty range") << "2016-03-16 00:00:00" << "2016-03-17 00:00:00" << "" << 0.0
                                 << "";
    QTest::newRow("end before start") << "2016-03-15 00:00:00" << "2016-03-14 00:00:00" << ""
                                      << 0.0 << "";
}

void tst_SQLReader::filters()
{
    QFETCH(QString, start);
    QFETCH(QString, end);
    QFETCH(QString, comparison);
    QFETCH(double, value);
    QFETCH(QString, expected);
    SQLReader reader(m_sample);
    reader.setStart(at(start));
    reader.setEnd(at(end));
    reader.setValueFilter(comparison, value);
    QVERIFY(reader.readHistory(m_sample));
    QCOMPARE(describe(reader.results()), expected);
}

void tst_SQLReader::filtersStayUntilSetAgain()
{
    SQLReader reader(m_sample);
    reader.setStart(at(QStringLiteral("2016-03-14 00:00:00")));
    reader.setEnd(at(QStringLiteral("2016-03-15 00:00:00")));
    reader.setValueFilter(3, 9.5);
    QVERIFY(reader.readHistory(m_sample));
    QCOMPARE(reader.results().size(), 2);
    reader.setEnd(at(QStringLiteral("2016-03-14 23:00:00")));
    QVERIFY(reader.readHistory(m_sample));
    QCOMPARE(describe(reader.results()), QStringLiteral("09:27:10=10"));
    reader.setValueFilter(7, 0);
    QCOMPARE(reader.comparison(), int(SQLReader::NoValueFilter));
    QVERIFY(reader.readHistory(m_sample));
    QCOMPARE(reader.results().size(), 4);
}

void tst_SQLReader::singlePrecision()
{
    SQLReader reader(m_sample);
    QVERIFY(reader.readHistory(m_sample));
    const ValueRecordList records = reader.results();
    QCOMPARE(records.first().value(), double(0.12f));
    QVERIFY(records.first().value() != 0.12);
    QCOMPARE(records.first().offset(), qint64(-1));
    QVERIFY(!records.first().block());
    QCOMPARE(records.first().time(), at(QStringLiteral("2016-03-14 09:26:50")));
}

void tst_SQLReader::progress_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<QString>("expected");
    QTest::newRow("none") << 0 << "";
    QTest::newRow("one row, no division by zero") << 1 << "100";
    QTest::newRow("two rows") << 2 << "0 100";
    QTest::newRow("five rows") << 5 << "0 25 50 75 100";
}

void tst_SQLReader::progress()
{
    QFETCH(int, rows);
    QFETCH(QString, expected);
    QStringList content;
    for (int i = 0; i < rows; ++i)
        content << QStringLiteral("2016-01-01 00:00:%1=1").arg(i, 2, 10, QLatin1Char('0'));
    const QString path = makeDatabase(QStringLiteral("progress%1.hist").arg(rows), content);
    SQLReader reader(path);
    QSignalSpy spy(&reader, &SQLReader::progress);
    QVERIFY(reader.readHistory(path));
    QStringList percents;
    for (const QList<QVariant> &args : qAsConst(spy)) {
        QCOMPARE(args.at(0).toString(), QStringLiteral("Loading"));
        percents << args.at(1).toString();
    }
    QCOMPARE(percents.join(QLatin1Char(' ')), expected);
}

void tst_SQLReader::badFiles_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("statements");
    QTest::addColumn<QString>("error"); // what we did and SQLite's reason; empty when the read works
    QTest::addColumn<int>("records");

    const QString unreadable = QStringLiteral("Could not read the history %1: ");
    QTest::newRow("not SQLite") << "garbage.hist" << QByteArray("this is no database at all\n")
                                << QStringList() << unreadable + "file is not a database" << 0;
    QTest::newRow("empty file") << "empty.hist" << QByteArray("") << QStringList()
                                << unreadable + "no plain table records_table" << 0;
    QTest::newRow("no records_table")
            << "other.hist" << QByteArray() << QStringList { "CREATE TABLE t (a INT);" }
            << unreadable + "no plain table records_table" << 0;
    QTest::newRow("other columns")
            << "columns.hist" << QByteArray()
            << QStringList { "CREATE TABLE records_table (moment TEXT, reading REAL);" }
            << unreadable + "no such column: time" << 0;
    QTest::newRow("extra column is fine")
            << "extra.hist" << QByteArray()
            << QStringList { "CREATE TABLE records_table (time TEXT, value REAL, note TEXT);",
                             "INSERT INTO records_table VALUES ('2016-01-01 00:00:00', 2, 'x');" }
            << QString() << 1;
    QTest::newRow("missing file") << "" << QByteArray() << QStringList()
                                  << "Could not open the history database %1: unable to open database file" << 0;
    // A file someone sent: a view under the table's name that would count rows for ever.
    QTest::newRow("records_table a view without end")
            << "view.hist" << QByteArray()
            << QStringList { "CREATE VIEW records_table AS WITH RECURSIVE n(i) AS "
                             "(SELECT 0 UNION ALL SELECT i + 1 FROM n) "
                             "SELECT '2016-01-01 00:00:00' AS time, 1.0 AS value FROM n WHERE i < 0;" }
            << unreadable + "no plain table records_table" << 0;
    QTest::newRow("time a column computed on every read")
            << "generated.hist" << QByteArray()
            << QStringList { "CREATE TABLE records_table (t TEXT, value REAL, "
                             "time TEXT GENERATED ALWAYS AS (printf('%.*c', 1000, 'x')));",
                             "INSERT INTO records_table (t, value) VALUES ('2016-01-01 00:00:00', 2);" }
            << unreadable + "no plain table records_table" << 0;
}

void tst_SQLReader::badFiles()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    QFETCH(QStringList, statements);
    QFETCH(QString, error);
    QFETCH(int, records);
    QString path = m_dir.filePath(name.isEmpty() ? QStringLiteral("absent.hist") : name);
    if (!statements.isEmpty())
        QVERIFY(HistoryTestUtil::execute(path, statements));
    else if (!name.isEmpty())
        QVERIFY(StatisticsFixture::writeFile(path, content));

    SQLReader reader(path);
    QSignalSpy finished(&reader, &QThread::finished);
    reader.start();
    QTRY_COMPARE(finished.size(), 1);
    QCOMPARE(reader.error(), !error.isEmpty());
    QCOMPARE(reader.errorString(), error.isEmpty() ? QString() : error.arg(QDir::toNativeSeparators(path)));
    QCOMPARE(reader.results().size(), records);
    QCOMPARE(QFileInfo::exists(path), !name.isEmpty());
}

void tst_SQLReader::emptyFileNameSkipsRead()
{
    SQLReader reader(m_dir.filePath(QStringLiteral("absent.hist")));
    reader.start();
    QVERIFY(reader.wait());
    QVERIFY(reader.error());
    reader.setFileName(QString());
    reader.start();
    QVERIFY(reader.wait());
    QVERIFY2(reader.error(), "an empty name keeps the previous error flag");
    QCOMPARE(reader.results().size(), 0);
}

void tst_SQLReader::unparsableTimeStays()
{
    const QString path = makeDatabase(QStringLiteral("badtime.hist"),
                                      { QStringLiteral("yesterday=1"),
                                        QStringLiteral("2016-01-01 00:00:00=2") });
    SQLReader reader(path);
    QVERIFY(reader.readHistory(path));
    const ValueRecordList records = reader.results();
    QCOMPARE(records.size(), 2);
    QVERIFY(!records.at(0).time().isValid());
    QCOMPARE(records.at(0).value(), 1.0);
    QVERIFY(records.at(1).time().isValid());
}

void tst_SQLReader::columnsReadAsQtReadsThem_data()
{
    QTest::addColumn<QString>("time");
    QTest::addColumn<QString>("value");
    QTest::newRow("plain") << "'2016-01-01 00:00:00'" << "0.25";
    QTest::newRow("integer time") << "1451606400" << "1";
    QTest::newRow("real time") << "1.5" << "2";
    QTest::newRow("null time") << "NULL" << "3";
    QTest::newRow("time as blob") << "x'323031362d30312d30312030303a30303a3030'" << "4";
    QTest::newRow("non-ASCII time") << QStringLiteral("'2016-01-01 00:00:0\u00e9'") << "5";
    QTest::newRow("integer value") << "'2016-01-01 00:00:00'" << "7";
    QTest::newRow("text value") << "'2016-01-01 00:00:00'" << "' 2.5 '";
    QTest::newRow("number and more") << "'2016-01-01 00:00:00'" << "'1.5x'";
    QTest::newRow("null value") << "'2016-01-01 00:00:00'" << "NULL";
    QTest::newRow("value as blob") << "'2016-01-01 00:00:00'" << "x'312e35'";
}

// Columns of any storage type give the records QSqlQuery's values would give.
void tst_SQLReader::columnsReadAsQtReadsThem()
{
    QFETCH(QString, time);
    QFETCH(QString, value);
    const QString path = m_dir.filePath(QStringLiteral("types-%1.hist").arg(QTest::currentDataTag()));
    // No declared types: every value keeps the storage type it was written with.
    QVERIFY(HistoryTestUtil::execute(
            path, { QStringLiteral("CREATE TABLE records_table (time, value);"),
                    QStringLiteral("INSERT INTO records_table VALUES (%1, %2);").arg(time, value) }));
    qint64 expectedTime = 0;
    double expectedValue = 0;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("types"));
        db.setDatabaseName(path);
        QVERIFY(db.open());
        QSqlQuery query(QStringLiteral("SELECT time, value FROM records_table;"), db);
        QVERIFY(query.next());
        expectedTime = HistoryFormat::RecordTimeParser().parseMSecs(query.value(0).toString());
        expectedValue = query.value(1).toDouble();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("types"));

    SQLReader reader(path);
    QVERIFY(reader.readHistory(path));
    QCOMPARE(reader.records().size(), 1);
    QCOMPARE(reader.records().times.at(0), expectedTime);
    QCOMPARE(reader.records().values.at(0), float(expectedValue));
}

// A database cut short fails its read instead of giving part of it or crashing.
void tst_SQLReader::truncatedDatabaseFails()
{
    const QString path = m_dir.filePath(QStringLiteral("truncated.hist"));
    QVERIFY(HistoryTestUtil::execute(
            path, { QStringLiteral("CREATE TABLE records_table (time TIMESTAMP PRIMARY KEY NOT "
                                   "NULL, value REAL);"),
                    QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n "
                                   "WHERE i < 2999) INSERT INTO records_table SELECT "
                                   "datetime(1451606400 + i * 10, 'unixepoch'), i FROM n;") }));
    QFile file(path);
    QVERIFY(file.resize(file.size() / 2));
    SQLReader reader(path);
    QVERIFY(!reader.readHistory(path));
    QVERIFY(!reader.wasCancelled());
    QCOMPARE(reader.records().size(), 0);
}

void tst_SQLReader::runsOnItsThread()
{
    SQLReader reader(m_sample);
    QSignalSpy finished(&reader, &QThread::finished);
    QSignalSpy progress(&reader, &SQLReader::progress);
    reader.start();
    QTRY_COMPARE(finished.size(), 1);
    QVERIFY(!reader.error());
    QCOMPARE(reader.results().size(), 5);
    QCOMPARE(progress.last().at(1).toInt(), 100);
}

QTEST_GUILESS_MAIN(tst_SQLReader)
#include "tst_sqlreader.moc"
