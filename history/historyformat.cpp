#include "history/historyformat.h"

#include <QAtomicInt>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace HistoryFormat {

namespace {

constexpr qint64 kUnixEpochJulianDay = 2440588;

// Writes `value` as `width` decimal digits at `out`; callers keep value within range.
inline void putDigits(QChar *out, int value, int width)
{
    for (int i = width - 1; i >= 0; --i) {
        out[i] = QChar(u'0' + value % 10);
        value /= 10;
    }
}

inline bool fastFormatYear(int year) { return year >= 0 && year <= 9999; }

inline char16_t unit(QChar c) { return c.unicode(); }
inline char16_t unit(char c) { return char16_t(static_cast<unsigned char>(c)); }

template <typename Char>
inline int digit(Char c)
{
    const char16_t u = unit(c);
    return u >= u'0' && u <= u'9' ? u - u'0' : -1;
}

// Reads `width` digits at `text[pos]`; -1 when any is not a digit.
template <typename Char>
inline int readNumber(const Char *text, int pos, int width)
{
    int value = 0;
    for (int i = 0; i < width; ++i) {
        const int d = digit(text[pos + i]);
        if (d < 0)
            return -1;
        value = value * 10 + d;
    }
    return value;
}

} // namespace

QString dataDirectory()
{
    return QDir::homePath() + QLatin1Char('/') + QCoreApplication::applicationName();
}

QString historyExtension()
{
    return QString(kHistoryFilter).remove(QLatin1Char('*'));
}

QDateTime timeBase()
{
    static const QDateTime base = QDateTime::fromString(QStringLiteral("0101201200:00:00"),
                                                        QStringLiteral("MMddyyyyhh:mm:ss"));
    return base;
}

QDateTime timeFromSeconds(qint64 seconds)
{
    static const qint64 baseMs = timeBase().toMSecsSinceEpoch();
    return QDateTime::fromMSecsSinceEpoch(baseMs + seconds * 1000, Qt::LocalTime);
}

QString findStatisticsFile(const QString &directory, const QString &name)
{
    const QDir dir(directory);
    const QFileInfo exact(dir.filePath(name));
    QFileInfo best;
    const QFileInfoList entries = dir.entryInfoList(QDir::Files | QDir::Hidden);
    for (const QFileInfo &entry : entries) {
        if (entry.fileName().compare(name, Qt::CaseInsensitive) != 0)
            continue;
        if (!best.exists() || entry.lastModified() > best.lastModified())
            best = entry;
    }
    return best.exists() ? best.filePath() : exact.filePath();
}

QString uniqueConnectionName(const char *prefix)
{
    static QAtomicInt counter;
    return QStringLiteral("%1-%2").arg(QLatin1String(prefix)).arg(counter.fetchAndAddRelaxed(1));
}

double decodeValueWord(quint16 word)
{
    const int mantissa = word & 0x03FF;
    switch ((word >> 10) & 0x3) {
    case 0:
        return mantissa;
    case 1:
        return mantissa / 10.0;
    case 2:
        return mantissa / 100.0;
    default:
        return mantissa / 1000.0;
    }
}

QString formatDate(const QDate &date)
{
    if (!date.isValid() || !fastFormatYear(date.year()))
        return date.toString(QStringLiteral("yyyy-MM-dd"));
    QString text(10, Qt::Uninitialized);
    QChar *out = text.data();
    putDigits(out, date.year(), 4);
    out[4] = QLatin1Char('-');
    putDigits(out + 5, date.month(), 2);
    out[7] = QLatin1Char('-');
    putDigits(out + 8, date.day(), 2);
    return text;
}

QString formatTime(const QTime &time)
{
    if (!time.isValid())
        return time.toString(QStringLiteral("hh:mm:ss"));
    QString text(8, Qt::Uninitialized);
    QChar *out = text.data();
    putDigits(out, time.hour(), 2);
    out[2] = QLatin1Char(':');
    putDigits(out + 3, time.minute(), 2);
    out[5] = QLatin1Char(':');
    putDigits(out + 6, time.second(), 2);
    return text;
}

QString formatRecordTime(const QDateTime &time)
{
    if (!time.isValid() || !fastFormatYear(time.date().year()))
        return time.toString(kRecordTimeFormat);
    const QDate date = time.date();
    const QTime clock = time.time();
    QString text(19, Qt::Uninitialized);
    QChar *out = text.data();
    putDigits(out, date.year(), 4);
    out[4] = QLatin1Char('-');
    putDigits(out + 5, date.month(), 2);
    out[7] = QLatin1Char('-');
    putDigits(out + 8, date.day(), 2);
    out[10] = QLatin1Char(' ');
    putDigits(out + 11, clock.hour(), 2);
    out[13] = QLatin1Char(':');
    putDigits(out + 14, clock.minute(), 2);
    out[16] = QLatin1Char(':');
    putDigits(out + 17, clock.second(), 2);
    return text;
}

namespace {

constexpr qint64 kQuarterHourSeconds = 900;
// Zones change their offset a few times a year at most; a stretch of six hours with the same
// offset at both ends is taken as one offset throughout, and only where the ends differ are the
// quarter hours looked at. Each lookup costs several checks of the zone file.
constexpr qint64 kStretchSeconds = 6 * 3600;

int localOffsetAt(qint64 utcSeconds)
{
    return QDateTime::fromSecsSinceEpoch(utcSeconds, Qt::LocalTime).offsetFromUtc();
}

qint64 floorDivide(qint64 a, qint64 b)
{
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}

} // namespace

int LocalOffsetCache::offsetAt(qint64 utcSeconds)
{
    const qint64 stretch = floorDivide(utcSeconds, kStretchSeconds);
    if (!m_haveStretch || stretch != m_stretch) {
        m_stretch = stretch;
        m_haveStretch = true;
        const qint64 first = stretch * kStretchSeconds;
        m_stretchOffset = localOffsetAt(first);
        m_stretchUniform = localOffsetAt(first + kStretchSeconds - 1) == m_stretchOffset;
    }
    if (m_stretchUniform)
        return m_stretchOffset;
    const qint64 slot = floorDivide(utcSeconds, kQuarterHourSeconds);
    if (!m_haveSlot || slot != m_slot) {
        m_slot = slot;
        m_haveSlot = true;
        const qint64 first = slot * kQuarterHourSeconds;
        m_slotOffset = localOffsetAt(first);
        m_slotUniform = localOffsetAt(first + kQuarterHourSeconds - 1) == m_slotOffset;
    }
    return m_slotUniform ? m_slotOffset : localOffsetAt(utcSeconds);
}

QString LocalTimeFormatter::recordText(qint64 secondsSinceBase)
{
    static const qint64 baseSeconds = timeBase().toSecsSinceEpoch();
    const qint64 utc = baseSeconds + secondsSinceBase;
    const qint64 local = utc + m_offsets.offsetAt(utc);
    const qint64 days = floorDivide(local, 86400);
    const int secondOfDay = int(local - days * 86400);
    if (days != m_day) {
        m_day = days;
        const QDate date = QDate::fromJulianDay(days + kUnixEpochJulianDay);
        int year = 0;
        int month = 0;
        int day = 0;
        date.getDate(&year, &month, &day);
        m_dateFast = date.isValid() && fastFormatYear(year);
        if (m_dateFast) {
            putDigits(m_date, year, 4);
            m_date[4] = QLatin1Char('-');
            putDigits(m_date + 5, month, 2);
            m_date[7] = QLatin1Char('-');
            putDigits(m_date + 8, day, 2);
        }
    }
    if (!m_dateFast)
        return formatRecordTime(timeFromSeconds(secondsSinceBase));
    QString text(19, Qt::Uninitialized);
    QChar *out = text.data();
    std::copy(m_date, m_date + 10, out);
    out[10] = QLatin1Char(' ');
    putDigits(out + 11, secondOfDay / 3600, 2);
    out[13] = QLatin1Char(':');
    putDigits(out + 14, secondOfDay / 60 % 60, 2);
    out[16] = QLatin1Char(':');
    putDigits(out + 17, secondOfDay % 60, 2);
    return text;
}

template <typename Char>
bool RecordTimeParser::parseFast(const Char *c, int size, qint64 *utc, int *offset)
{
    if (size != 19)
        return false;
    const int hour = readNumber(c, 11, 2);
    const int minute = readNumber(c, 14, 2);
    const int second = readNumber(c, 17, 2);
    if (unit(c[10]) != u' ' || unit(c[13]) != u':' || unit(c[16]) != u':' || hour < 0 || minute < 0
        || second < 0 || hour > 23 || minute > 59 || second > 59)
        return false;
    const auto sameUnit = [](Char a, char16_t b) { return unit(a) == b; };
    if (!m_haveDate || !std::equal(c, c + 10, m_dateText, sameUnit)) {
        const int year = readNumber(c, 0, 4);
        const int month = readNumber(c, 5, 2);
        const int day = readNumber(c, 8, 2);
        if (unit(c[4]) != u'-' || unit(c[7]) != u'-' || year < 0 || month < 0 || day < 0)
            return false;
        const QDate date(year, month, day);
        if (!date.isValid())
            return false;
        std::transform(c, c + 10, m_dateText, [](Char a) { return unit(a); });
        m_dateDays = date.toJulianDay() - kUnixEpochJulianDay;
        m_haveDate = true;
    }
    const qint64 local = m_dateDays * 86400 + hour * 3600 + minute * 60 + second;
    // The offset of the previous row nearly always fits; a daylight-saving change needs a
    // second try with the offset found at the first guess.
    for (int attempt = 0; attempt < 2; ++attempt) {
        const qint64 guess = local - m_offset;
        const int found = m_offsets.offsetAt(guess);
        if (found == m_offset) {
            *utc = guess;
            *offset = found;
            return true;
        }
        m_offset = found;
    }
    return false;
}

QDateTime RecordTimeParser::parse(const QString &text)
{
    qint64 utc = 0;
    int offset = 0;
    if (parseFast(text.constData(), text.size(), &utc, &offset))
        return QDateTime::fromSecsSinceEpoch(utc, Qt::OffsetFromUTC, offset);
    return QDateTime::fromString(text, kRecordTimeFormat);
}

qint64 RecordTimeParser::parseMSecs(const QString &text)
{
    qint64 utc = 0;
    int offset = 0;
    if (parseFast(text.constData(), text.size(), &utc, &offset))
        return utc * 1000;
    const QDateTime time = QDateTime::fromString(text, kRecordTimeFormat);
    return time.isValid() ? time.toMSecsSinceEpoch() : kNoTime;
}

qint64 RecordTimeParser::parseMSecs(const char *utf8, int size)
{
    qint64 utc = 0;
    int offset = 0;
    // A plain time is ASCII, the same characters in either form; anything else takes the long way.
    if (parseFast(utf8, size, &utc, &offset))
        return utc * 1000;
    return parseMSecs(QString::fromUtf8(utf8, size));
}

} // namespace HistoryFormat
