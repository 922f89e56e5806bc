#pragma once

// Reads a history database back without the code under test, so the tests check the file itself.

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <QVariant>

namespace HistoryTestUtil {

// "time=value" for every row in table order, or "<error>" when the table cannot be read.
inline QString databaseRows(const QString &path, const QString &extraColumn = QString())
{
    static int serial = 0;
    const QString connection = QStringLiteral("test-check-%1").arg(++serial);
    QString out;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(path);
        if (!db.open())
            return QStringLiteral("<error>");
        QSqlQuery query(db);
        const QString column = extraColumn.isEmpty() ? QStringLiteral("value") : extraColumn;
        if (!query.exec(QStringLiteral("SELECT time, %1 FROM records_table ORDER BY rowid").arg(column)))
            return QStringLiteral("<error>");
        QStringList rows;
        while (query.next())
            rows << query.value(0).toString() + QLatin1Char('=') + query.value(1).toString();
        out = rows.join(QLatin1Char(' '));
    }
    QSqlDatabase::removeDatabase(connection);
    return out;
}

inline bool execute(const QString &path, const QStringList &statements)
{
    static int serial = 0;
    const QString connection = QStringLiteral("test-exec-%1").arg(++serial);
    bool ok = true;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(path);
        ok = db.open();
        QSqlQuery query(db);
        for (const QString &statement : statements)
            ok = ok && query.exec(statement);
    }
    QSqlDatabase::removeDatabase(connection);
    return ok;
}

} // namespace HistoryTestUtil
