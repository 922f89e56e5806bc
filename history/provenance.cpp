#include "history/provenance.h"

#include "device/changejournal.h"

#include "history/historyformat.h"

#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <functional>

namespace Provenance {

namespace {

// SQLite's own words when it gave any, else Qt's: the caller says what was being done.
// QSqlError::text() glues both into one sentence ("file is not a database Unable to execute
// statement").
QString reason(const QSqlError &error)
{
    const QString database = error.databaseText().trimmed();
    return database.isEmpty() ? error.driverText().trimmed() : database;
}

// Opens the history on a connection of its own for one piece of work. An existing file only:
// SQLite would otherwise create an empty database under a mistyped name.
bool withDatabase(const QString &path, QString *error, const std::function<bool(QSqlDatabase &)> &work)
{
    if (!QFileInfo(path).isFile()) {
        if (error)
            *error = QStringLiteral("no such file");
        return false;
    }
    const QString connection = HistoryFormat::uniqueConnectionName("provenance");
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(path);
        if (db.open()) {
            ok = work(db);
            db.close();
        } else if (error) {
            *error = reason(db.lastError());
        }
    }
    QSqlDatabase::removeDatabase(connection);
    return ok;
}

} // namespace

bool write(const QString &historyPath, const Entries &entries, QString *error)
{
    return withDatabase(historyPath, error, [&](QSqlDatabase &db) {
        QSqlQuery query(db);
        const auto failed = [&](const QSqlQuery &q) {
            if (error)
                *error = reason(q.lastError());
            db.rollback();
            return false;
        };
        if (!db.transaction()) {
            if (error)
                *error = reason(db.lastError());
            return false;
        }
        if (!query.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS provenance "
                                       "(key TEXT PRIMARY KEY, value TEXT);")))
            return failed(query);
        if (!query.prepare(QStringLiteral("INSERT OR REPLACE INTO provenance (key, value) VALUES (?, ?);")))
            return failed(query);
        for (const auto &entry : entries) {
            query.bindValue(0, entry.first);
            query.bindValue(1, entry.second);
            if (!query.exec())
                return failed(query);
        }
        if (!db.commit()) {
            if (error)
                *error = reason(db.lastError());
            db.rollback();
            return false;
        }
        return true;
    });
}

bool read(const QString &historyPath, Entries *entries, QString *error)
{
    entries->clear();
    return withDatabase(historyPath, error, [&](QSqlDatabase &db) {
        QSqlQuery query(db);
        // Reading the schema also tells a database from any other file.
        if (!query.exec(HistoryFormat::kPlainTablesQuery)) {
            if (error)
                *error = reason(query.lastError());
            return false;
        }
        bool hasTable = false;
        bool hasRecords = false;
        while (query.next()) {
            hasTable = hasTable || query.value(0).toString() == kTableName;
            hasRecords = hasRecords || query.value(0).toString() == QLatin1String("records_table");
        }
        if (!hasRecords) {
            if (error)
                *error = QStringLiteral("not a history: no records_table");
            return false;
        }
        if (!hasTable)
            return true;
        if (!query.exec(QStringLiteral("SELECT key, value FROM provenance ORDER BY rowid;"))) {
            if (error)
                *error = reason(query.lastError());
            return false;
        }
        while (query.next())
            entries->append({ query.value(0).toString(), query.value(1).toString() });
        return true;
    });
}

qint64 countRecords(const QString &historyPath, QString *error)
{
    qint64 count = -1;
    withDatabase(historyPath, error, [&](QSqlDatabase &db) {
        QSqlQuery query(db);
        bool hasRecords = false;
        if (query.exec(HistoryFormat::kPlainTablesQuery)) {
            while (query.next())
                hasRecords = hasRecords || query.value(0).toString() == QLatin1String("records_table");
        }
        if (!hasRecords) {
            if (error)
                *error = QStringLiteral("not a history: no records_table");
            return false;
        }
        if (!query.exec(QStringLiteral("SELECT COUNT(*) FROM records_table;")) || !query.next()) {
            if (error)
                *error = reason(query.lastError());
            return false;
        }
        count = query.value(0).toLongLong();
        return true;
    });
    return count;
}

QString sha256(const QString &path)
{
    return ChangeJournal::fileSha256(path);
}

} // namespace Provenance
