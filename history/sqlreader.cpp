#include "history/sqlreader.h"

#include "history/historyformat.h"
#include "link/logging.h"

#include <QDir>
#include <QVector>

#include <utility>

SQLReader::SQLReader(const QString &fileName, QObject *parent)
    : QThread(parent)
    , m_fileName(fileName)
{
}

SQLReader::~SQLReader()
{
    wait();
}

int SQLReader::comparisonFromText(const QString &text)
{
    if (text == QLatin1String("<"))
        return Less;
    if (text == QLatin1String("<="))
        return LessOrEqual;
    if (text == QLatin1String("="))
        return Equal;
    if (text == QLatin1String(">"))
        return Greater;
    if (text == QLatin1String(">="))
        return GreaterOrEqual;
    return NoValueFilter;
}

void SQLReader::setValueFilter(const QString &comparison, double value)
{
    setValueFilter(comparisonFromText(comparison), value);
}

void SQLReader::setValueFilter(int comparison, double value)
{
    m_comparison = comparison >= Less && comparison <= NoValueFilter ? comparison : NoValueFilter;
    m_value = value;
}

QString SQLReader::queryText() const
{
    if (!m_start.isValid() || !m_end.isValid())
        return QStringLiteral("SELECT time, value FROM records_table;");
    static const char *const kValueConditions[] = {
        " AND value < :value", " AND value <= :value", " AND value = :value",
        " AND value > :value", " AND value >= :value", "",
    };
    return QStringLiteral("SELECT time, value FROM records_table WHERE ")
            + QStringLiteral("time >= :start") + QStringLiteral(" AND ") + QStringLiteral("time <= :end")
            + QLatin1String(kValueConditions[m_comparison]);
}

void SQLReader::run()
{
    // A request that came after the last read had finished is no request to stop this one.
    m_cancel.storeRelaxed(0);
    m_records.clear();
    if (!m_fileName.isEmpty())
        m_error = !readHistory(m_fileName);
}

bool SQLReader::readHistory(const QString &path)
{
    m_records.clear();
    HistoryRecords records;
    HistoryFormat::RecordTimeParser parser;
    int expected = 0;
    int index = 0;
    int lastPercent = -1;
    const bool ok = visitRows(
        path, [&](int rows) {
            expected = rows;
            records.reserve(rows);
        },
        [&](const SqliteStatement &row) {
            int size = 0;
            const char *time = row.utf8(0, &size);
            records.append(time ? parser.parseMSecs(time, size) : parser.parseMSecs(row.text(0)),
                           float(row.real(1)));
            // A single row is all of the result at once.
            const int percent = expected > 1 ? int(qint64(index) * 100 / (expected - 1)) : 100;
            ++index;
            if (percent != lastPercent) {
                lastPercent = percent;
                emit progress(tr("Loading"), percent);
            }
            return true;
        });
    if (!ok)
        return m_cancelled; // a stopped read is no failure of the file
    VLOG << "Affected: " << records.size() - 1 << " rows";
    if (m_sortByTime)
        records.sortByTime();
    m_records = records;
    return true;
}

bool SQLReader::visitRows(const QString &path, const std::function<void(int rows)> &started,
                          const RowVisitor &visit)
{
    m_cancelled = false;
    m_errorString.clear();
    const bool ok = query(path, started, visit);
    m_cancel.storeRelaxed(0);
    return ok;
}

bool SQLReader::query(const QString &path, const std::function<void(int rows)> &started,
                      const RowVisitor &visit)
{
    SqliteDatabase db;
    const QString name = QDir::toNativeSeparators(path);
    // Read-only: a mistyped or vanished path must not leave a new empty database behind.
    if (!db.openReadOnly(path)) {
        m_errorString = tr("Could not open the history database %1: %2").arg(name, db.errorString());
        VWARN << "SQLite: Can't open SQLite.";
        return false;
    }
    // SQLite reads nothing at the open: a file that is no database shows at the first statement.
    const auto readFailed = [&] {
        m_errorString = tr("Could not read the history %1: %2").arg(name, db.errorString());
        VWARN << "SQLite: Can't read from table";
        return false;
    };

    // Only a plain records_table: a view of that name in a file someone sent could run forever.
    bool hasRecords = false;
    {
        SqliteStatement tables;
        if (!tables.prepare(db, HistoryFormat::kPlainTablesQuery))
            return readFailed();
        while (!hasRecords && tables.step() == SqliteStatement::Row)
            hasRecords = tables.text(0) == QLatin1String("records_table");
    }
    if (!hasRecords) {
        m_errorString = tr("Could not read the history %1: %2").arg(name, tr("no plain table records_table"));
        VWARN << "SQLite: Can't read from table";
        return false;
    }

    const bool filtered = m_start.isValid() && m_end.isValid();
    // Prepared and bound as Qt's driver did it: the times and the value compared as text.
    const auto prepare = [&](SqliteStatement &statement, const QString &text) {
        if (!statement.prepare(db, text))
            return false;
        if (!filtered)
            return true;
        bool ok = statement.bindText(":start", HistoryFormat::formatRecordTime(m_start))
                && statement.bindText(":end", HistoryFormat::formatRecordTime(m_end));
        if (m_comparison != NoValueFilter)
            ok = ok && statement.bindText(":value", QString::number(m_value, 'g', 6));
        return ok;
    };

    // The row count first, with the same conditions: it sizes the arrays once and gives the
    // progress its scale, while the rows themselves are walked forward only.
    int rows = 0;
    {
        SqliteStatement count;
        QString countText = queryText();
        countText.replace(QLatin1String("SELECT time, value"), QLatin1String("SELECT COUNT(*)"));
        if (!prepare(count, countText) || count.step() != SqliteStatement::Row)
            return readFailed();
        rows = int(count.integer(0));
    }
    started(rows);

    SqliteStatement select;
    if (!prepare(select, queryText()))
        return readFailed();
    int row = 0;
    SqliteStatement::Step step;
    while ((step = select.step()) == SqliteStatement::Row) {
        if (++row % 4096 == 0 && m_cancel.loadRelaxed()) {
            m_cancelled = true;
            VLOG << "SQLite: read cancelled";
            return false;
        }
        if (!visit(select))
            return false;
    }
    if (step == SqliteStatement::Failed) {
        // A database that breaks off mid-way (a damaged page) is a failed read, not a short one.
        return readFailed();
    }
    return true;
}
