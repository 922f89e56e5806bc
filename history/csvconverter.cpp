#include "history/csvconverter.h"

#include "history/historyformat.h"
#include "link/logging.h"

#include <QFileInfo>
#include <QHash>
#include <QSaveFile>
#include <QTextCodec>

#include <cstring>

namespace {

constexpr int kFlushBytes = 64 * 1024;

// Reads `width` digits at `text[pos]`; -1 when any is not a digit.
int readNumber(const char *text, int pos, int width)
{
    int value = 0;
    for (int i = 0; i < width; ++i) {
        const char c = text[pos + i];
        if (c < '0' || c > '9')
            return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}

// "yyyy-MM-dd hh:mm:ss" naming a real date and time: the stored form, split as it is. Such a
// text is ASCII, the same bytes in UTF-8 as in the locale's encoding.
bool isPlainRecordTime(const char *c, int size)
{
    if (size != 19)
        return false;
    if (c[4] != '-' || c[7] != '-' || c[10] != ' ' || c[13] != ':' || c[16] != ':')
        return false;
    const int year = readNumber(c, 0, 4);
    const int month = readNumber(c, 5, 2);
    const int day = readNumber(c, 8, 2);
    const int hour = readNumber(c, 11, 2);
    const int minute = readNumber(c, 14, 2);
    const int second = readNumber(c, 17, 2);
    if (year < 0 || month < 1 || month > 12 || day < 1 || hour < 0 || hour > 23 || minute < 0
        || minute > 59 || second < 0 || second > 59)
        return false;
    return day <= 28 || QDate::isValid(year, month, day);
}

} // namespace

// Buffers encoded lines and hands them to the file in large pieces. Text goes out in the
// locale's encoding, as a text stream would write it; the value texts are encoded once each.
class CsvConverter::LineWriter
{
public:
    explicit LineWriter(QIODevice *file)
        : m_file(file)
        , m_codec(QTextCodec::codecForLocale())
    {
        m_buffer.reserve(kFlushBytes + 256);
    }

    void text(const QString &text) { m_buffer += m_codec->fromUnicode(text); }
    void ascii(const char *text, int size) { m_buffer.append(text, size); }
    void byte(char c) { m_buffer += c; }

    // The value as the user's locale writes it, with up to six significant digits.
    void value(float value)
    {
        quint32 bits = 0;
        std::memcpy(&bits, &value, sizeof bits);
        auto found = m_values.constFind(bits);
        if (found == m_values.cend())
            found = m_values.insert(bits, m_codec->fromUnicode(m_locale.toString(double(value), 'g', 6)));
        m_buffer += found.value();
    }

    bool endLine()
    {
        m_buffer += '\n';
        return m_buffer.size() < kFlushBytes || flush();
    }

    bool flush()
    {
        if (m_buffer.isEmpty())
            return true;
        const bool ok = m_file->write(m_buffer) == m_buffer.size();
        m_buffer.clear();
        return ok;
    }

private:
    QIODevice *m_file;
    QTextCodec *m_codec;
    const QLocale m_locale;
    QByteArray m_buffer;
    QHash<quint32, QByteArray> m_values;
};

CsvConverter::CsvConverter(const QString &fileName, const ValueRecordList &records,
                           QObject *parent)
    : QThread(parent)
    , m_fileName(fileName)
    , m_records(records)
{
}

CsvConverter::CsvConverter(const QString &fileName, const QString &historyPath, QObject *parent)
    : QThread(parent)
    , m_fileName(fileName)
    , m_historyPath(historyPath)
{
}

CsvConverter::~CsvConverter()
{
    cancel();
    wait();
}

void CsvConverter::setFilter(const QDateTime &start, const QDateTime &end, int comparison,
                             double value)
{
    m_source.setStart(start);
    m_source.setEnd(end);
    m_source.setValueFilter(comparison, value);
}

void CsvConverter::cancel()
{
    m_cancel.storeRelaxed(1);
    m_source.cancel();
}

QString CsvConverter::outputFileName(const QString &fileName)
{
    // A folder named "exports.csv" does not make "report" in it a CSV name.
    const QFileInfo info(fileName);
    if (info.fileName().contains(QLatin1String(".csv")))
        return fileName;
    // A device or a pipe ("/dev/stdout") is written as named.
    if (info.exists() && !info.isFile() && !info.isDir())
        return fileName;
    return fileName + QLatin1String(".csv");
}

QString CsvConverter::headerLine()
{
    return QStringLiteral("Date; Time; Value");
}

QString CsvConverter::formatLine(const ValueRecord &record, const QLocale &locale)
{
    const QDateTime time = record.time();
    return HistoryFormat::formatDate(time.date()) + QLatin1Char(';')
            + HistoryFormat::formatTime(time.time()) + QLatin1Char(';')
            + locale.toString(record.value(), 'g', 6);
}

void CsvConverter::run()
{
    m_succeeded = write();
}

bool CsvConverter::write()
{
    m_error.clear();
    m_written = 0;
    m_cancelled = false;
    m_readFailed = false;
    m_succeeded = false;
    const QString target = outputPath();
    const QFileInfo info(target);
    // A device or a pipe ("/dev/stdout") gets the lines directly. Anything else is written beside
    // the target under a temporary name and renamed at the end: a full disk or a stopped export
    // neither leaves a truncated file nor destroys the one it was to replace.
    const bool direct = info.exists() && !info.isFile() && !info.isDir();
    QFile plain(target);
    QSaveFile saved(target);
    QFileDevice &file = direct ? static_cast<QFileDevice &>(plain) : saved;
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        m_error = file.errorString();
        VWARN << "CSV: Can't open \"" << target << "\": " << m_error;
        return false;
    }
    bool ok = writeAll(&file) && file.flush();
    if (!ok && m_error.isEmpty())
        m_error = file.errorString();
    if (direct)
        plain.close();
    else if (!ok)
        saved.cancelWriting();
    else if (!saved.commit()) {
        ok = false;
        m_error = saved.errorString();
    }
    if (!ok) {
        VWARN << "CSV: Can't write \"" << target << "\": " << m_error;
        return false;
    }
    m_succeeded = true;
    return true;
}

bool CsvConverter::writeAll(QIODevice *file)
{
    LineWriter out(file);
    out.text(headerLine());
    bool ok = out.endLine();
    ok = ok && (m_historyPath.isEmpty() ? writeRecords(out) : writeRows(out));
    ok = ok && out.flush();
    if (m_cancel.loadRelaxed()) {
        m_cancelled = true;
        m_error = QStringLiteral("cancelled");
        return false;
    }
    return ok;
}

bool CsvConverter::writeRecords(LineWriter &out)
{
    const QLocale locale;
    const int count = m_records.size();
    int lastPercent = -1;
    for (int i = 0; i < count; ++i) {
        if (m_cancel.loadRelaxed())
            return false;
        out.text(formatLine(m_records.at(i), locale));
        if (!out.endLine())
            return false;
        ++m_written;
        // Once per percent: a signal per record would queue a million events on the page.
        const int percent = int(qint64(i) * 100 / count);
        if (percent != lastPercent) {
            lastPercent = percent;
            emit progress(tr("Export CSV"), percent);
        }
    }
    return true;
}

bool CsvConverter::writeRows(LineWriter &out)
{
    int expected = 0;
    int lastPercent = -1;
    bool written = true;
    const bool read = m_source.visitRows(
        m_historyPath, [&](int rows) { expected = rows; },
        [&](const SqliteStatement &row) {
            int size = 0;
            const char *time = row.utf8(0, &size);
            if (time && isPlainRecordTime(time, size)) {
                out.ascii(time, 10);
                out.byte(';');
                out.ascii(time + 11, 8);
            } else {
                // Anything else is read the way a record would be: no time, empty fields.
                const QDateTime parsed = QDateTime::fromString(row.text(0),
                                                               HistoryFormat::kRecordTimeFormat);
                out.text(HistoryFormat::formatDate(parsed.date()) + QLatin1Char(';')
                         + HistoryFormat::formatTime(parsed.time()));
            }
            out.byte(';');
            // Values travel as the page shows them: in single precision.
            out.value(float(row.real(1)));
            if (!out.endLine()) {
                written = false;
                return false;
            }
            const int percent = expected > 0 ? int(qint64(m_written) * 100 / expected) : 0;
            ++m_written;
            if (percent != lastPercent) {
                lastPercent = percent;
                emit progress(tr("Export CSV"), percent);
            }
            return true;
        });
    if (!read && written && !m_cancel.loadRelaxed()) {
        m_readFailed = true;
        m_error = m_source.errorString();
    }
    return read;
}
