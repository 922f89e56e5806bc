#include "history/historyconverter.h"

#include "history/filereader.h"
#include "history/historyfilereader.h"
#include "history/historyformat.h"
#include "link/logging.h"

#include <QDir>
#include <QFile>
#include <QMutex>
#include <QMutexLocker>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <array>

namespace {

const char kCreateTable[]
        = "CREATE TABLE records_table (time TIMESTAMP PRIMARY KEY NOT NULL, value REAL);";
const char kInsert[] = "INSERT INTO records_table (time, value) VALUES (:datetime, :value);";

// The decoded value depends on the low twelve bits only, so its text is worked out once.
class ValueTexts
{
public:
    const QString &text(quint16 word)
    {
        QString &slot = m_texts[word & 0x0FFF];
        if (slot.isNull())
            slot = QString::number(HistoryFormat::decodeValueWord(word), 'g', 6);
        return slot;
    }

private:
    std::array<QString, 0x1000> m_texts;
};

} // namespace

HistoryConverter::HistoryConverter(QObject *parent)
    : QThread(parent)
{
}

HistoryConverter::~HistoryConverter()
{
    wait();
    delete m_reader;
}

void HistoryConverter::run()
{
    convert();
}

void HistoryConverter::convert()
{
    emit progress(tr("History parsing"), -1);
    const QString directory = HistoryFormat::dataDirectory();
    const QString indexPath = m_indexFile.isEmpty()
            ? HistoryFormat::findStatisticsFile(directory, HistoryFormat::kIndexFileName)
            : m_indexFile;
    const QString valuePath = m_valueFile.isEmpty()
            ? HistoryFormat::findStatisticsFile(directory, HistoryFormat::kValueFileName)
            : m_valueFile;

    QFile *index = new QFile(indexPath);
    if (!index->open(QIODevice::ReadOnly) || index->size() == 0) {
        m_error = index->isOpen() ? QStringLiteral("empty time index") : index->errorString();
        delete index;
        return;
    }
    delete m_reader;
    // Made on the worker thread, so it cannot be a child of the converter, which lives on the
    // page's thread; the converter deletes it instead.
    m_reader = new HistoryFileReader(index, valuePath);
    index->close();
    delete index;
    if (!m_reader->knownFormat()) {
        m_error = QStringLiteral("unknown time index layout 0x%1")
                          .arg(quint8(m_reader->format()), 2, 16, QLatin1Char('0'));
        return;
    }
    storeHistory();
}

QString HistoryConverter::reserveDatabasePath(const QString &directory, const QDateTime &startedAt)
{
    // Two converters may pick a name in the same second; the lock makes check-and-create one step
    // within the process and NewOnly does so against other processes.
    static QMutex mutex;
    QMutexLocker locker(&mutex);
    const QString stem = startedAt.toString(HistoryFormat::kDatabaseNameFormat);
    const QString extension = HistoryFormat::historyExtension();
    for (int attempt = 1; attempt < 1000; ++attempt) {
        const QString name = attempt == 1
                ? stem + extension
                : QStringLiteral("%1 (%2)%3").arg(stem).arg(attempt).arg(extension);
        const QString path = QDir::toNativeSeparators(QDir(directory).filePath(name));
        QFile file(path);
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            return path;
        if (!file.exists())
            return QString(); // the directory itself is missing or not writable
    }
    return QString();
}

bool HistoryConverter::storeHistory()
{
    if (!m_reader || m_reader->count() == 0) {
        // No placeholder row for an index without values: no database at all.
        m_error = QStringLiteral("no records");
        VLOG << "History: no records to convert";
        return false;
    }

    QString path;
    if (m_outputFile.isEmpty()) {
        const QString directory = m_outputDirectory.isEmpty() ? HistoryFormat::dataDirectory()
                                                              : m_outputDirectory;
        const QDateTime startedAt = m_startedAt.isValid() ? m_startedAt
                                                          : QDateTime::currentDateTime();
        path = reserveDatabasePath(directory, startedAt);
    } else {
        QFile file(m_outputFile);
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            path = QDir::toNativeSeparators(m_outputFile);
    }
    if (path.isEmpty()) {
        m_error = QStringLiteral("cannot create the history file");
        VLOG << "SQLite: Can't open SQLite. Name: \"" << path << '"';
        return false;
    }

    const QString connection = HistoryFormat::uniqueConnectionName("history-converter");
    const bool written = writeDatabase(path, connection);
    QSqlDatabase::removeDatabase(connection);
    if (!written) {
        // A half-written history would pass for a complete one later.
        QFile::remove(path);
        return false;
    }
    m_databasePath = path;
    m_error.clear();
    return true;
}

bool HistoryConverter::writeDatabase(const QString &path, const QString &connection)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
    db.setDatabaseName(path);
    if (!db.open()) {
        m_error = db.lastError().text();
        VLOG << "SQLite: Can't open SQLite. Name: \"" << path << '"';
        return false;
    }
    QSqlQuery create(db);
    // A page cache that holds a large history keeps one long transaction from spilling to disk
    // over and over; it changes nothing in the file.
    create.exec(QStringLiteral("PRAGMA cache_size = -65536;"));
    if (!create.exec(QLatin1String(kCreateTable))) {
        m_error = create.lastError().text();
        VLOG << "SQLite: Can't create table";
        return false;
    }

    const FileReader *reader = m_reader->reader();
    const QVector<FileReader::Entry> &entries = reader->entries();
    const int count = entries.size();
    m_endTime = m_reader->last().time();
    m_startTime = m_reader->first().time();

    if (!db.transaction()) {
        m_error = db.lastError().text();
        return false;
    }
    QSqlQuery insert(db);
    if (!insert.prepare(QLatin1String(kInsert))) {
        m_error = insert.lastError().text();
        db.rollback();
        return false;
    }

    ValueTexts values;
    HistoryFormat::LocalTimeFormatter times;
    int rows = 0;
    int lastPercent = -1;
    for (int i = 0; i < count; ++i) {
        const FileReader::Entry &entry = entries.at(i);
        insert.bindValue(0, times.recordText(entry.seconds));
        insert.bindValue(1, values.text(entry.word));
        // A second row for one second (a daylight-saving repeat) is refused by the key.
        if (insert.exec())
            ++rows;
        const int percent = int(qint64(i) * 100 / count);
        if (percent != lastPercent) {
            lastPercent = percent;
            emit progress(tr("Converting"), percent);
        }
    }
    insert.finish();
    if (!db.commit()) {
        m_error = db.lastError().text();
        db.rollback();
        return false;
    }
    m_rowCount = rows;
    db.close();
    return true;
}
