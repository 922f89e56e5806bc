#include "history/datablock.h"
#include "history/filereader.h"
#include "history/historyfilereader.h"
#include "history/historyformat.h"
#include "history/timedfilereader.h"
#include "statisticsfixture.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <QtTest>

#include <ctime>

using namespace StatisticsFixture;

class tst_HistoryFileReader : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void decodeWord_data();
    void decodeWord();
    void timeBase();
    void blockLayout_data();
    void blockLayout();
    void blockLayoutBlocks();
    void singleValueLayout_data();
    void singleValueLayout();
    void noRecords_data();
    void noRecords();
    void cursor();
    void hostileIndexStaysBounded_data();
    void hostileIndexStaysBounded();
    void daylightSavingChange();
    void localTimeFormatterMatchesQt_data();
    void localTimeFormatterMatchesQt();

private:
    // "seconds=value@offset" for every record the reader hands out, in order.
    QString read(const QByteArray &index, const QByteArray &values, int *skipped = nullptr);

    QTemporaryDir m_dir;
};

void tst_HistoryFileReader::initTestCase()
{
    QVERIFY2(m_dir.isValid(), qPrintable(m_dir.errorString()));
}

QString tst_HistoryFileReader::read(const QByteArray &index, const QByteArray &values, int *skipped)
{
    const QString valuePath = m_dir.filePath(QStringLiteral("measure.dat"));
    writeFile(valuePath, values);
    QBuffer indexDevice;
    indexDevice.setData(index);
    indexDevice.open(QIODevice::ReadOnly);
    HistoryFileReader reader(&indexDevice, valuePath);
    const QDateTime base = HistoryFormat::timeBase();
    QStringList out;
    for (int i = 0; i < reader.count(); ++i) {
        const ValueRecord r = reader.next();
        out << QStringLiteral("%1=%2@%3")
                        .arg(base.secsTo(r.time()))
                        .arg(r.value())
                        .arg(r.offset());
    }
    if (skipped)
        *skipped = reader.reader() ? reader.reader()->skippedRecords() : -1;
    return out.join(QLatin1Char(' '));
}

void tst_HistoryFileReader::decodeWord_data()
{
    QTest::addColumn<int>("word");
    QTest::addColumn<double>("value");
    QTest::newRow("E1 M5") << 0x0405 << 0.5;
    QTest::newRow("E2 M23") << 0x0817 << 0.23;
    QTest::newRow("E0 max") << 0x03FF << 1023.0;
    QTest::newRow("top bits ignored") << 0xF3FF << 1023.0;
    QTest::newRow("zero") << 0x0000 << 0.0;
    QTest::newRow("E1 max") << 0x07FF << 102.3;
    QTest::newRow("E2 max") << 0x0BFF << 10.23;
    QTest::newRow("E3 continues the pattern") << 0x0C05 << 0.005;
    QTest::newRow("E3 top bits set") << 0xFFFF << 1.023;
}

void tst_HistoryFileReader::decodeWord()
{
    QFETCH(int, word);
    QFETCH(double, value);
    QCOMPARE(HistoryFormat::decodeValueWord(quint16(word)), value);
    QCOMPARE(ValueRecord(0, quint16(word), 0, nullptr).value(), value);
}

void tst_HistoryFileReader::timeBase()
{
    QCOMPARE(HistoryFormat::timeBase(), QDateTime(QDate(2012, 1, 1), QTime(0, 0), Qt::LocalTime));
    const ValueRecord empty;
    QCOMPARE(empty.time(), HistoryFormat::timeBase());
    QCOMPARE(empty.value(), 0.0);
    QCOMPARE(empty.offset(), qint64(-1));
    QVERIFY(!empty.block());
    const ValueRecord fromDatabase(HistoryFormat::timeBase().addSecs(5), 1.5);
    QCOMPARE(fromDatabase.offset(), qint64(-1));
    QVERIFY(!fromDatabase.block());
}

void tst_HistoryFileReader::blockLayout_data()
{
    QTest::addColumn<QByteArray>("index");
    QTest::addColumn<QByteArray>("values");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<int>("skipped");

    QTest::newRow("two blocks of two")
            << blockRecord(0, 0) + blockRecord(100, 4) << countingWords(4)
            << "0=1@0 10=2@2 100=3@4 110=4@6" << 0;
    QTest::newRow("later record markers ignored")
            << blockRecord(0, 0) + blockRecord(100, 4, 0x00) << countingWords(4)
            << "0=1@0 10=2@2 100=3@4 110=4@6" << 0;
    QTest::newRow("trailing fragment ignored")
            << blockRecord(0, 0) + blockRecord(100, 4) + QByteArray("\x80\x00\x00\x01", 4)
            << countingWords(4) << "0=1@0 10=2@2 100=3@4 110=4@6" << 1;
    QTest::newRow("later block overlaps most of an earlier one")
            << contiguousIndex({ { 0, 10 }, { 20, 10 } }) << countingWords(20)
            << "0=1@0 10=2@2 20=11@20 30=12@22 40=13@24 50=14@26 60=15@28 70=16@30 80=17@32 "
               "90=18@34 100=19@36 110=20@38"
            << 0;
    QTest::newRow("overlap off the ten-second grid")
            << contiguousIndex({ { 0, 10 }, { 25, 3 } }) << countingWords(13)
            << "0=1@0 10=2@2 25=11@20 35=12@22 45=13@24 60=7@12 70=8@14 80=9@16 90=10@18" << 0;
    QTest::newRow("nine seconds apart is an overlap")
            << contiguousIndex({ { 0, 1 }, { 9, 1 } }) << countingWords(2) << "9=2@2" << 0;
    QTest::newRow("nine seconds before is an overlap")
            << contiguousIndex({ { 9, 1 }, { 0, 1 } }) << countingWords(2) << "0=2@2" << 0;
    QTest::newRow("ten seconds apart is none")
            << contiguousIndex({ { 0, 1 }, { 10, 1 } }) << countingWords(2) << "0=1@0 10=2@2" << 0;
    QTest::newRow("three blocks at one moment: the last wins")
            << contiguousIndex({ { 0, 2 }, { 0, 2 }, { 0, 2 } }) << countingWords(6)
            << "0=5@8 10=6@10" << 0;
    QTest::newRow("removal chains through a superseded value")
            << contiguousIndex({ { 0, 1 }, { 5, 1 }, { 14, 1 } }) << countingWords(3) << "14=3@4"
            << 0;
    QTest::newRow("later block earlier in time")
            << contiguousIndex({ { 100, 3 }, { 95, 2 } }) << countingWords(5)
            << "95=4@6 105=5@8 120=3@4" << 0;
    QTest::newRow("blocks out of time order are sorted")
            << contiguousIndex({ { 1000, 3 }, { 0, 2 } }) << countingWords(5)
            << "0=4@6 10=5@8 1000=1@0 1010=2@2 1020=3@4" << 0;
    QTest::newRow("block without values")
            << blockRecord(0, 0) + blockRecord(50, 0) << countingWords(2) << "50=1@0 60=2@2" << 0;
    QTest::newRow("first block starts inside the value file")
            << blockRecord(0, 4) + blockRecord(100, 8) << countingWords(6)
            << "0=3@4 10=4@6 100=5@8 110=6@10" << 0;
    QTest::newRow("offsets going backwards read no word twice")
            << blockRecord(0, 0) + blockRecord(100, 4) + blockRecord(200, 2) << countingWords(4)
            << "0=1@0 10=2@2 210=3@4 220=4@6" << 0;
    QTest::newRow("value file shorter than the index says")
            << blockRecord(0, 0) + blockRecord(100, 40) << countingWords(3)
            << "0=1@0 10=2@2 20=3@4" << 0;
    QTest::newRow("odd last byte is a high byte")
            << blockRecord(0, 0) << QByteArray("\x00\x01\x05", 3) << "0=1@0 10=25.6@2" << 0;
    QTest::newRow("offset 2^32-1 in the last block")
            << blockRecord(0, 0xFFFFFFFFu) << countingWords(2) << "" << 0;
    QTest::newRow("offset 2^32-1 as the next block")
            << blockRecord(0, 0) + blockRecord(10, 0xFFFFFFFFu) << countingWords(2)
            << "0=1@0 10=2@2" << 0;
    QTest::newRow("largest start time")
            << blockRecord(0xFFFFFFFFu, 0) << countingWords(2)
            << "4294967295=1@0 4294967305=2@2" << 0;
    QTest::newRow("empty value file") << blockRecord(0, 0) + blockRecord(10, 2) << QByteArray()
                                      << "" << 0;
}

void tst_HistoryFileReader::blockLayout()
{
    QFETCH(QByteArray, index);
    QFETCH(QByteArray, values);
    QFETCH(QString, expected);
    QFETCH(int, skipped);
    int skippedRecords = -1;
    QCOMPARE(read(index, values, &skippedRecords), expected);
    QCOMPARE(skippedRecords, skipped);
}

void tst_HistoryFileReader::blockLayoutBlocks()
{
    const QString valuePath = m_dir.filePath(QStringLiteral("measure.dat"));
    writeFile(valuePath, countingWords(5));
    QBuffer index;
    // The last block starts on words the first one took: it keeps none and ends where it starts.
    index.setData(contiguousIndex({ { 1000, 3 }, { 0, 2 }, { 500, 0 } }) + blockRecord(700, 0));
    index.open(QIODevice::ReadOnly);
    HistoryFileReader reader(&index, valuePath);
    QCOMPARE(reader.format(), HistoryFileReader::kBlockLayout);
    QVERIFY(qobject_cast<TimedFileReader *>(reader.reader()));

    const QVector<DataBlock *> blocks = reader.reader()->blocks();
    const QDateTime base = HistoryFormat::timeBase();
    QCOMPARE(blocks.size(), 4);
    QCOMPARE(base.secsTo(blocks.at(2)->start()), 700);
    QCOMPARE(blocks.at(2)->end(), blocks.at(2)->start());
    QCOMPARE(base.secsTo(blocks.at(0)->start()), 0);
    QCOMPARE(base.secsTo(blocks.at(0)->end()), 20);
    QCOMPARE(base.secsTo(blocks.at(1)->start()), 500);
    QCOMPARE(blocks.at(1)->end(), blocks.at(1)->start());
    QCOMPARE(base.secsTo(blocks.at(3)->end()), 1030);
    QCOMPARE(reader.first().block(), blocks.at(0));
    QCOMPARE(reader.last().block(), blocks.at(3));
}

void tst_HistoryFileReader::singleValueLayout_data()
{
    QTest::addColumn<QByteArray>("index");
    QTest::addColumn<QByteArray>("values");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<int>("skipped");

    QTest::newRow("file order, equal times kept")
            << valueRecord(100, 2) + valueRecord(50, 0) + valueRecord(100, 4) << countingWords(3)
            << "100=2@2 50=1@0 100=3@4" << 0;
    QTest::newRow("one word named twice")
            << valueRecord(0, 0) + valueRecord(10, 0) << words({ 0x0405 }) << "0=0.5@0 10=0.5@0"
            << 0;
    QTest::newRow("later markers ignored")
            << valueRecord(0, 0) + valueRecord(10, 2, 0x80) << countingWords(2) << "0=1@0 10=2@2"
            << 0;
    QTest::newRow("offset past the value file is skipped")
            << valueRecord(0, 0) + valueRecord(10, 8) + valueRecord(20, 0xFFFF) << countingWords(2)
            << "0=1@0" << 2;
    QTest::newRow("offset on the odd last byte")
            << valueRecord(0, 2) << QByteArray("\x00\x01\x05", 3) << "0=25.6@2" << 0;
    QTest::newRow("trailing fragment ignored")
            << valueRecord(7, 0) + QByteArray(8, '\0') << countingWords(1) << "7=1@0" << 1;
}

void tst_HistoryFileReader::singleValueLayout()
{
    QFETCH(QByteArray, index);
    QFETCH(QByteArray, values);
    QFETCH(QString, expected);
    QFETCH(int, skipped);
    int skippedRecords = -1;
    QCOMPARE(read(index, values, &skippedRecords), expected);
    QCOMPARE(skippedRecords, skipped);
}

void tst_HistoryFileReader::noRecords_data()
{
    QTest::addColumn<QByteArray>("index");
    QTest::newRow("empty index") << QByteArray();
    QTest::newRow("unknown layout byte") << blockRecord(0, 0, 0x01);
    QTest::newRow("layout byte 0xFF") << blockRecord(0, 0, 0xFF);
    QTest::newRow("fragment only") << QByteArray("\x80\x00\x00", 3);
}

void tst_HistoryFileReader::noRecords()
{
    QFETCH(QByteArray, index);
    const QString valuePath = m_dir.filePath(QStringLiteral("measure.dat"));
    writeFile(valuePath, countingWords(4));
    QBuffer device;
    device.setData(index);
    device.open(QIODevice::ReadOnly);
    HistoryFileReader reader(&device, valuePath);
    QCOMPARE(reader.count(), 0);
    QCOMPARE(reader.first().time(), HistoryFormat::timeBase());
    QCOMPARE(reader.last().offset(), qint64(-1));
    QCOMPARE(reader.next().offset(), qint64(-1));
}

void tst_HistoryFileReader::cursor()
{
    const QString valuePath = m_dir.filePath(QStringLiteral("measure.dat"));
    writeFile(valuePath, countingWords(2));
    QBuffer device;
    device.setData(blockRecord(0, 0));
    device.open(QIODevice::ReadOnly);
    HistoryFileReader reader(&device, valuePath);
    QCOMPARE(reader.next().value(), 1.0);
    QCOMPARE(reader.next().value(), 2.0);
    const ValueRecord past = reader.next();
    QCOMPARE(past.offset(), qint64(-1));
    QCOMPARE(past.time(), HistoryFormat::timeBase());
    QCOMPARE(reader.first().value(), 1.0);
    QCOMPARE(reader.last().value(), 2.0);
}

void tst_HistoryFileReader::hostileIndexStaysBounded_data()
{
    QTest::addColumn<QByteArray>("index");
    QTest::addColumn<int>("valueBytes");

    QByteArray alternating;
    QByteArray sameMoment;
    QByteArray backwards;
    for (int i = 0; i < 20000; ++i) {
        alternating += blockRecord(quint32(i * 7), (i % 2) ? 4000 : 0);
        sameMoment += blockRecord(0, 0);
        backwards += blockRecord(quint32(i), quint32(4000 - (i % 4000)));
    }
    QTest::newRow("offsets alternating over the whole file") << alternating << 4000;
    QTest::newRow("every block at one moment and offset") << sameMoment << 4000;
    QTest::newRow("offsets walking backwards") << backwards << 4000;
    QTest::newRow("huge index over a tiny value file") << alternating << 3;
}

void tst_HistoryFileReader::hostileIndexStaysBounded()
{
    QFETCH(QByteArray, index);
    QFETCH(int, valueBytes);
    const QString valuePath = m_dir.filePath(QStringLiteral("measure.dat"));
    writeFile(valuePath, QByteArray(valueBytes, '\x01'));
    QBuffer device;
    device.setData(index);
    device.open(QIODevice::ReadOnly);
    HistoryFileReader reader(&device, valuePath);
    // Every word is read at most once, whatever the offsets claim.
    QVERIFY2(reader.count() <= (valueBytes + 1) / 2,
             qPrintable(QStringLiteral("%1 records").arg(reader.count())));
    const auto &entries = reader.reader()->entries();
    for (int i = 1; i < entries.size(); ++i)
        QVERIFY(entries.at(i).seconds - entries.at(i - 1).seconds > TimedFileReader::kOverlapSeconds);
}

void tst_HistoryFileReader::daylightSavingChange()
{
    // Berlin moves its clocks forward at 02:00 on 25 March 2012.
    const QDateTime before(QDate(2012, 3, 25), QTime(1, 59, 50), Qt::LocalTime);
    if (before.addSecs(10).time() != QTime(3, 0))
        QSKIP("The local zone is not Berlin's: Windows takes it from the system, not from TZ");
    const qint64 seconds = HistoryFormat::timeBase().secsTo(before);
    const QString valuePath = m_dir.filePath(QStringLiteral("measure.dat"));
    writeFile(valuePath, countingWords(2));
    QBuffer device;
    device.setData(blockRecord(quint32(seconds), 0));
    device.open(QIODevice::ReadOnly);
    HistoryFileReader reader(&device, valuePath);
    QCOMPARE(HistoryFormat::formatRecordTime(reader.next().time()),
             QStringLiteral("2012-03-25 01:59:50"));
    QCOMPARE(HistoryFormat::formatRecordTime(reader.next().time()),
             QStringLiteral("2012-03-25 03:00:00"));
}

void tst_HistoryFileReader::localTimeFormatterMatchesQt_data()
{
    QTest::addColumn<QByteArray>("zone");
    QTest::addColumn<QDateTime>("from");
    const QDateTime spring(QDate(2012, 3, 24), QTime(0, 0), Qt::UTC);
    const QDateTime autumn(QDate(2012, 10, 27), QTime(0, 0), Qt::UTC);
    QTest::newRow("Berlin spring") << QByteArray("Europe/Berlin") << spring;
    QTest::newRow("Berlin autumn") << QByteArray("Europe/Berlin") << autumn;
    // Lord Howe Island shifts by half an hour.
    QTest::newRow("Lord Howe") << QByteArray("Australia/Lord_Howe")
                               << QDateTime(QDate(2012, 9, 29), QTime(12, 0), Qt::UTC);
    QTest::newRow("Kathmandu") << QByteArray("Asia/Kathmandu") << spring;
    QTest::newRow("New York") << QByteArray("America/New_York")
                              << QDateTime(QDate(2016, 11, 5), QTime(12, 0), Qt::UTC);
    QTest::newRow("UTC") << QByteArray("UTC") << spring;
}

void tst_HistoryFileReader::localTimeFormatterMatchesQt()
{
    QFETCH(QByteArray, zone);
    QFETCH(QDateTime, from);
    const QByteArray saved = qgetenv("TZ");
    qputenv("TZ", zone);
    tzset();
    // The base instant is fixed when the process first asks for it; only the wall clock moves.
    const qint64 first = from.toSecsSinceEpoch() - HistoryFormat::timeFromSeconds(0).toSecsSinceEpoch();
    HistoryFormat::LocalTimeFormatter formatter;
    QString mismatch;
    // Two days in 7-second steps cross the change at every phase of a quarter hour.
    for (qint64 s = first; s < first + 2 * 86400 && mismatch.isEmpty(); s += 7) {
        const QString expected = HistoryFormat::timeFromSeconds(s).toString(
                QStringLiteral("yyyy-MM-dd hh:mm:ss"));
        const QString actual = formatter.recordText(s);
        if (actual != expected)
            mismatch = QStringLiteral("%1: %2 != %3").arg(s).arg(actual, expected);
    }
    qputenv("TZ", saved);
    tzset();
    QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
}

int main(int argc, char **argv)
{
    // Fixed zone so the daylight-saving case means the same on every machine.
    qputenv("TZ", "Europe/Berlin");
    tzset();
    QCoreApplication app(argc, argv);
    tst_HistoryFileReader test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_historyfilereader.moc"
