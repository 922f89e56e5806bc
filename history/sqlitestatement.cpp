#include "history/sqlitestatement.h"

#include <QByteArray>

#include <sqlite3.h>

namespace {

// Qt's SQLite driver waits this long for a writer's lock before it gives up; so do we.
constexpr int kBusyTimeoutMs = 5000;

} // namespace

SqliteDatabase::~SqliteDatabase()
{
    sqlite3_close(m_db);
}

bool SqliteDatabase::openReadOnly(const QString &path)
{
    sqlite3_close(m_db);
    m_db = nullptr;
    // Even a failed open allocates a handle (it carries the error); the destructor closes it.
    const int rc = sqlite3_open_v2(path.toUtf8().constData(), &m_db,
                                   SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK)
        return false;
    sqlite3_busy_timeout(m_db, kBusyTimeoutMs);
    return true;
}

bool SqliteDatabase::openReadWrite(const QString &path)
{
    sqlite3_close(m_db);
    m_db = nullptr;
    const int rc = sqlite3_open_v2(path.toUtf8().constData(), &m_db,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                                   nullptr);
    if (rc != SQLITE_OK)
        return false;
    sqlite3_busy_timeout(m_db, kBusyTimeoutMs);
    return true;
}

bool SqliteDatabase::exec(const char *sql)
{
    return m_db && sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

QString SqliteDatabase::errorString() const
{
    return m_db ? QString::fromUtf8(sqlite3_errmsg(m_db)) : QStringLiteral("out of memory");
}

SqliteStatement::~SqliteStatement()
{
    sqlite3_finalize(m_statement);
}

bool SqliteStatement::prepare(const SqliteDatabase &db, const QString &text)
{
    sqlite3_finalize(m_statement);
    m_statement = nullptr;
    if (!db.handle())
        return false;
    const QByteArray utf8 = text.toUtf8();
    return sqlite3_prepare_v2(db.handle(), utf8.constData(), utf8.size(), &m_statement, nullptr)
                   == SQLITE_OK
            && m_statement;
}

bool SqliteStatement::bindText(const char *name, const QString &text)
{
    const int index = sqlite3_bind_parameter_index(m_statement, name);
    if (index == 0)
        return false;
    const QByteArray utf8 = text.toUtf8();
    return sqlite3_bind_text(m_statement, index, utf8.constData(), utf8.size(), SQLITE_TRANSIENT)
            == SQLITE_OK;
}

int SqliteStatement::parameterIndex(const char *name) const
{
    return sqlite3_bind_parameter_index(m_statement, name);
}

bool SqliteStatement::bindText(int index, const QString &text)
{
    // Record texts are short and plain ASCII: copied to UTF-8 on the stack, no allocation per row.
    constexpr int kShort = 64;
    const int size = text.size();
    if (size <= kShort) {
        char ascii[kShort];
        const QChar *in = text.constData();
        int i = 0;
        for (; i < size && in[i].unicode() < 0x80; ++i)
            ascii[i] = char(in[i].unicode());
        if (i == size)
            return sqlite3_bind_text(m_statement, index, ascii, size, SQLITE_TRANSIENT)
                    == SQLITE_OK;
    }
    const QByteArray utf8 = text.toUtf8();
    return sqlite3_bind_text(m_statement, index, utf8.constData(), utf8.size(), SQLITE_TRANSIENT)
            == SQLITE_OK;
}

bool SqliteStatement::bindDouble(int index, double value)
{
    return sqlite3_bind_double(m_statement, index, value) == SQLITE_OK;
}

bool SqliteStatement::bindInt64(int index, qint64 value)
{
    return sqlite3_bind_int64(m_statement, index, value) == SQLITE_OK;
}

void SqliteStatement::reset()
{
    sqlite3_reset(m_statement);
}

SqliteStatement::Step SqliteStatement::step()
{
    m_resultCode = sqlite3_step(m_statement);
    switch (m_resultCode) {
    case SQLITE_ROW:
        return Row;
    case SQLITE_DONE:
        return Done;
    default:
        return Failed;
    }
}

const char *SqliteStatement::utf8(int column, int *size) const
{
    if (sqlite3_column_type(m_statement, column) != SQLITE_TEXT)
        return nullptr;
    const char *text = reinterpret_cast<const char *>(sqlite3_column_text(m_statement, column));
    *size = sqlite3_column_bytes(m_statement, column);
    return text;
}

QVariant SqliteStatement::value(int column) const
{
    switch (sqlite3_column_type(m_statement, column)) {
    case SQLITE_BLOB:
        return QByteArray(static_cast<const char *>(sqlite3_column_blob(m_statement, column)),
                          sqlite3_column_bytes(m_statement, column));
    case SQLITE_INTEGER:
        return qint64(sqlite3_column_int64(m_statement, column));
    case SQLITE_FLOAT:
        return sqlite3_column_double(m_statement, column);
    case SQLITE_NULL:
        return QVariant(QVariant::String);
    default:
        return QString(reinterpret_cast<const QChar *>(sqlite3_column_text16(m_statement, column)),
                       sqlite3_column_bytes16(m_statement, column) / int(sizeof(QChar)));
    }
}

QString SqliteStatement::text(int column) const
{
    return value(column).toString();
}

double SqliteStatement::real(int column) const
{
    switch (sqlite3_column_type(m_statement, column)) {
    case SQLITE_FLOAT:
        return sqlite3_column_double(m_statement, column);
    case SQLITE_INTEGER:
        return double(sqlite3_column_int64(m_statement, column));
    default:
        // Text and blobs are read as Qt reads them: a number only if all of it is one.
        return value(column).toDouble();
    }
}

qint64 SqliteStatement::integer(int column) const
{
    if (sqlite3_column_type(m_statement, column) == SQLITE_INTEGER)
        return sqlite3_column_int64(m_statement, column);
    return value(column).toLongLong();
}
