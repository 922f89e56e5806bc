#include "history/sqlreader.h"

#include "history/historyformat.h"
#include "link/logging.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
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
    int row = 0;
    int lastPercent = -1;
    const bool ok = visitRows(
        path, [&](int rows) {
            expected = rows;
            records.reserve(rows);
        },
        [&](const QString &time, double value) {
            records.append(parser.parseMSecs(time), float(value));
            // A single row is all of the result at once.
            const int percent = expected > 1 ? int(qint64(row) * 100 / (expected - 1)) : 100;
            ++row;
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
    const QString connection = HistoryFormat::uniqueConnectionName("history-reader");
    const bool ok = query(path, connection, started, visit);
    QSqlDatabase::removeDatabase(connection);
    m_cancel.storeRelaxed(0);
    return ok;
}

bool SQLReader::query(const QString &path, const QString &connection,
                      const std::function<void(int rows)> &started, const RowVisitor &visit)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
    db.setDatabaseName(path);
    // Read-only: a mistyped or vanished path must not leave a new empty database behind.
    db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
    if (!db.open()) {
        VLOG << "SQLite: Can't open SQLite.";
        return false;
    }

    const bool filtered = m_start.isValid() && m_end.isValid();
    const auto execute = [&](QSqlQuery &query, const QString &text) {
        query.setForwardOnly(true);
        if (!filtered)
            return query.exec(text);
        if (!query.prepare(text))
            return false;
        query.bindValue(QStringLiteral(":start"), HistoryFormat::formatRecordTime(m_start));
        query.bindValue(QStringLiteral(":end"), HistoryFormat::formatRecordTime(m_end));
        if (m_comparison != NoValueFilter)
            query.bindValue(QStringLiteral(":value"), QString::number(m_value, 'g', 6));
        return query.exec();
    };

    // The row count first, with the same conditions: it sizes the arrays once and gives the
    // progress its scale, while the rows themselves are walked forward only.
    QSqlQuery count(db);
    QString countText = queryText();
    countText.replace(QLatin1String("SELECT time, value"), QLatin1String("SELECT COUNT(*)"));
    if (!execute(count, countText) || !count.next()) {
        VLOG << "SQLite: Can't read from table";
        return false;
    }
    started(count.value(0).toInt());
    count.finish();

    QSqlQuery select(db);
    if (!execute(select, queryText())) {
        VLOG << "SQLite: Can't read from table";
        return false;
    }
    int row = 0;
    while (select.next()) {
        if (++row % 4096 == 0 && m_cancel.loadRelaxed()) {
            m_cancelled = true;
            VLOG << "SQLite: read cancelled";
            return false;
        }
        if (!visit(select.value(0).toString(), select.value(1).toDouble()))
            return false;
    }
    if (select.lastError().isValid()) {
        // A database that breaks off mid-way (a damaged page) is a failed read, not a short one.
        VLOG << "SQLite: Can't read from table";
        return false;
    }
    return true;
}
