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
    m_results.clear();
    if (!m_fileName.isEmpty())
        m_error = !readHistory(m_fileName);
}

bool SQLReader::readHistory(const QString &path)
{
    m_results.clear();
    const QString connection = HistoryFormat::uniqueConnectionName("history-reader");
    const bool ok = query(path, connection);
    QSqlDatabase::removeDatabase(connection);
    return ok;
}

bool SQLReader::query(const QString &path, const QString &connection)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
    db.setDatabaseName(path);
    // Read-only: a mistyped or vanished path must not leave a new empty database behind.
    db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
    if (!db.open()) {
        VLOG << "SQLite: Can't open SQLite.";
        return false;
    }

    QSqlQuery select(db);
    // Rows are counted after the walk instead of seeking the last one: seeking would make the
    // driver hold a second copy of every row.
    select.setForwardOnly(true);
    bool executed = false;
    if (m_start.isValid() && m_end.isValid()) {
        executed = select.prepare(queryText());
        if (executed) {
            select.bindValue(QStringLiteral(":start"), HistoryFormat::formatRecordTime(m_start));
            select.bindValue(QStringLiteral(":end"), HistoryFormat::formatRecordTime(m_end));
            if (m_comparison != NoValueFilter)
                select.bindValue(QStringLiteral(":value"), QString::number(m_value, 'g', 6));
            executed = select.exec();
        }
    } else {
        executed = select.exec(queryText());
    }
    if (!executed) {
        VLOG << "SQLite: Can't read from table";
        return false;
    }

    HistoryFormat::RecordTimeParser parser;
    QVector<std::pair<QDateTime, float>> rows;
    while (select.next())
        rows.append({ parser.parse(select.value(0).toString()), select.value(1).toFloat() });
    if (select.lastError().isValid()) {
        // A database that breaks off mid-way (a damaged page) is a failed read, not a short one.
        VLOG << "SQLite: Can't read from table";
        return false;
    }
    select.finish();
    db.close();

    const int last = rows.size() - 1;
    VLOG << "Affected: " << last << " rows";
    ValueRecordList results(rows.size());
    int lastPercent = -1;
    for (int i = 0; i < rows.size(); ++i) {
        ValueRecord &record = results[i];
        record.setTime(rows.at(i).first);
        record.setValue(double(rows.at(i).second));
        // A single row is all of the result at once.
        const int percent = last > 0 ? int(qint64(i) * 100 / last) : 100;
        if (percent != lastPercent) {
            lastPercent = percent;
            emit progress(tr("Loading"), percent);
        }
    }
    m_results = std::move(results);
    return true;
}
