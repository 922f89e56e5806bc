#pragma once

#include <QString>
#include <QVariant>

struct sqlite3;
struct sqlite3_stmt;

// A history database opened read-only through the SQLite C API: the readers' hot path, where a
// row through Qt's SQL layer (a QVariant and a UTF-16 QString per column) costs more than the
// row itself. A missing path is never created; the connection is closed with the object.
class SqliteDatabase
{
public:
    SqliteDatabase() = default;
    ~SqliteDatabase();
    SqliteDatabase(const SqliteDatabase &) = delete;
    SqliteDatabase &operator=(const SqliteDatabase &) = delete;

    bool openReadOnly(const QString &path);
    // Opens read-write, creating the file when it is missing, as Qt's SQLite driver opens it.
    bool openReadWrite(const QString &path);
    // Runs plain SQL with no parameters, every row stepped through; false on the first error.
    bool exec(const char *sql);
    sqlite3 *handle() const { return m_db; }
    QString errorString() const;

private:
    sqlite3 *m_db = nullptr;
};

// One prepared statement, finalized with the object. Columns read as Qt's SQLite driver reads
// them, so callers moved off QSqlQuery see the same texts and numbers.
class SqliteStatement
{
public:
    enum Step { Row, Done, Failed };

    SqliteStatement() = default;
    ~SqliteStatement();
    SqliteStatement(const SqliteStatement &) = delete;
    SqliteStatement &operator=(const SqliteStatement &) = delete;

    bool prepare(const SqliteDatabase &db, const QString &text);
    // Binds text to the named parameter (":start"); false when the statement has no such name.
    bool bindText(const char *name, const QString &text);
    // The 1-based index of a named parameter, found once so rows can be bound by index; 0 if absent.
    int parameterIndex(const char *name) const;
    bool bindText(int index, const QString &text);
    bool bindDouble(int index, double value);
    bool bindInt64(int index, qint64 value);
    Step step();
    // Makes the statement ready to run again; the bound values stay.
    void reset();
    // SQLite's result code of the last step(), e.g. SQLITE_CONSTRAINT for a duplicate key.
    int resultCode() const { return m_resultCode; }

    // The column's UTF-8 bytes when SQLite holds it as text; nullptr for other types.
    const char *utf8(int column, int *size) const;
    // The column as QSqlQuery::value() would give it.
    QVariant value(int column) const;
    // value(column).toString() and value(column).toDouble(), without a QVariant for the usual types.
    QString text(int column) const;
    double real(int column) const;
    qint64 integer(int column) const;

private:
    sqlite3_stmt *m_statement = nullptr;
    int m_resultCode = 0;
};
