#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QTime>

#include <limits>

// What the statistics files, the history databases and the CSV export share: the file names,
// the device's time base, the value word and the fixed text forms of times.
namespace HistoryFormat {

// Names under which the page saves the device's statistics in the data directory.
inline const QString kIndexFileName = QStringLiteral("meastime.dat");
inline const QString kValueFileName = QStringLiteral("measure.dat");
inline const QString kHistoryFilter = QStringLiteral("*.hist");
inline const QString kRecordTimeFormat = QStringLiteral("yyyy-MM-dd hh:mm:ss");
inline const QString kDatabaseNameFormat = QStringLiteral("yyyy.MM.dd hh-mm-ss");

// The names of a history database's plain tables: no view, no virtual table, no column computed
// when it is read. A .hist someone sent may hold a view under a table's name that runs without
// end, or a generated column whose every read takes seconds of CPU; the readers take
// records_table and provenance only from this list.
inline const QString kPlainTablesQuery = QStringLiteral(
    "SELECT name FROM sqlite_master AS m WHERE type = 'table' AND sql NOT LIKE 'CREATE VIRTUAL%' "
    "AND NOT EXISTS (SELECT 1 FROM pragma_table_xinfo(m.name) WHERE hidden = 2);");

constexpr int kIndexRecordBytes = 9;
constexpr int kValueWordBytes = 2;
constexpr int kBlockStepSeconds = 10;
// The flat time of a record whose text named no moment (milliseconds since the epoch otherwise).
constexpr qint64 kNoTime = std::numeric_limits<qint64>::min();

// The home directory plus the application name: where statistics and databases live.
QString dataDirectory();
QString historyExtension(); // ".hist"

// 2012-01-01 00:00:00 in the computer's local time.
QDateTime timeBase();
// The time base plus a count of real seconds (a daylight-saving change in between shows).
QDateTime timeFromSeconds(qint64 seconds);

// Bits 0-9 mantissa, bits 10-11 decimal exponent, bits 12-15 unused. The device never writes
// exponent 3; we continue the pattern (mantissa / 1000) rather than invent a marker value.
double decodeValueWord(quint16 word);

// The statistics file `name` in `directory`, matched without regard to letter case: the monitor
// lists "MEASTIME.DAT" while we look for "meastime.dat", and Linux names are case-sensitive.
// Of several matches the most recently written wins (a fresh copy beside an old one).
QString findStatisticsFile(const QString &directory, const QString &name);

// A connection name of its own for every database run, so that a converter and a reader
// running side by side can never close each other's connection.
QString uniqueConnectionName(const char *prefix);

QString formatDate(const QDate &date); // "yyyy-MM-dd"
QString formatTime(const QTime &time); // "hh:mm:ss"
QString formatRecordTime(const QDateTime &time); // "yyyy-MM-dd hh:mm:ss"

// The computer's UTC offset at a moment. Every local-time conversion makes the C library stat
// the zone file, which dominated a million-row conversion; this asks at both ends of a six-hour
// stretch, and only where they differ once per quarter hour of UTC (zone changes fall on quarter
// hours), checking both ends of the quarter and asking again for each moment where they differ.
class LocalOffsetCache
{
public:
    int offsetAt(qint64 utcSeconds);

private:
    qint64 m_stretch = -1;
    int m_stretchOffset = 0;
    bool m_stretchUniform = false;
    bool m_haveStretch = false;
    qint64 m_slot = -1;
    int m_slotOffset = 0;
    bool m_slotUniform = false;
    bool m_haveSlot = false;
};

// Local wall-clock text "yyyy-MM-dd hh:mm:ss" of moments given as seconds since the time base.
class LocalTimeFormatter
{
public:
    QString recordText(qint64 secondsSinceBase);

private:
    LocalOffsetCache m_offsets;
    // The calendar date of the last day formatted: thousands of records share one.
    qint64 m_day = std::numeric_limits<qint64>::min();
    QChar m_date[10];
    bool m_dateFast = false;
};

// Parses "yyyy-MM-dd hh:mm:ss" as local time without a zone lookup per row: the moment comes
// with the UTC offset in force then (Qt::OffsetFromUTC), so date, time and instant are those of
// the local reading. Texts that are not plain local times (other shapes, a time inside a
// daylight-saving gap) get QDateTime::fromString's answer.
class RecordTimeParser
{
public:
    QDateTime parse(const QString &text);
    // The same moment as milliseconds since the epoch; kNoTime where parse() gives no valid time.
    qint64 parseMSecs(const QString &text);
    // The same from UTF-8 text, as a database hands it out: plain times need no QString.
    qint64 parseMSecs(const char *utf8, int size);

private:
    // Seconds since the epoch of a plain local "yyyy-MM-dd hh:mm:ss"; false for anything else.
    template <typename Char>
    bool parseFast(const Char *c, int size, qint64 *utc, int *offset);

    // The date text of the last row and its day number: rows of one day share them.
    char16_t m_dateText[10] = {};
    qint64 m_dateDays = 0;
    bool m_haveDate = false;

    LocalOffsetCache m_offsets;
    int m_offset = 0;
};

} // namespace HistoryFormat
