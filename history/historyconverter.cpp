#include "history/historyconverter.h"

#include "history/filereader.h"
#include "history/historyfilereader.h"
#include "history/historyformat.h"
#include "history/partialfile.h"
#include "history/sqlitestatement.h"
#include "link/logging.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryFile>

#include <memory>

#include <sqlite3.h>

namespace {

const char kCreateTable[]
        = "CREATE TABLE records_table (time TIMESTAMP PRIMARY KEY NOT NULL, value REAL);";
const char kInsert[] = "INSERT INTO records_table (time, value) VALUES (:datetime, :value);";
const char kCancelled[] = "cancelled";
// How many rows pass between two looks at the cancel flag: well under a second's work.
constexpr int kCancelCheckRows = 4096;

int offsetAt(qint64 utcSeconds)
{
    return QDateTime::fromSecsSinceEpoch(utcSeconds, Qt::LocalTime).offsetFromUtc();
}

// Whether the local wall-clock time of `utcSeconds` also occurs at another moment with another
// UTC offset, as in the hour repeated when clocks go back. Asked only for refused rows.
bool inRepeatedHour(qint64 utcSeconds)
{
    const int offset = offsetAt(utcSeconds);
    const qint64 local = utcSeconds + offset;
    for (const qint64 probe : { utcSeconds - 6 * 3600, utcSeconds + 6 * 3600 }) {
        const int other = offsetAt(probe);
        if (other != offset && offsetAt(local - other) == other)
            return true;
    }
    return false;
}

// A duplicate key is refused with SQLite's constraint code (or an extended code of it).
bool isDuplicateKey(int code)
{
    return (code & 0xFF) == SQLITE_CONSTRAINT;
}

// What we did, then SQLite's reason: "Could not open the history database NAME: disk I/O error".
QString sqlError(const SqliteDatabase &db, const QString &what)
{
    return QStringLiteral("%1: %2").arg(what, db.errorString());
}

QMutex &namesMutex()
{
    static QMutex mutex;
    return mutex;
}

QSet<QString> &reservedNames()
{
    static QSet<QString> names;
    return names;
}

// The temporaries this process is writing: a cleaner never opens them (closing any descriptor
// of a file would drop the SQLite locks this process holds on it).
QSet<QString> &liveTemporaries()
{
    static QSet<QString> names;
    return names;
}

const char kPartialMarker[] = ".partial-";

// An empty file, or one that SQLite began: what a killed conversion leaves.
bool looksLikeOurTemporary(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = file.read(16);
    return head.isEmpty() || head == QByteArray("SQLite format 3", 16);
}

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

QString HistoryConverter::repeatedHourText(int losses)
{
    return tr("%n readings in the repeated hour at the change from summer time were not stored",
              nullptr, losses);
}

void HistoryConverter::convert()
{
    m_cancelled = false;
    m_repeatedHourLosses = 0;
    m_rowCount = 0;
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
        m_error = index->isOpen()
                ? tr("The time index %1 is empty").arg(QDir::toNativeSeparators(indexPath))
                : tr("Could not open the time index %1: %2")
                          .arg(QDir::toNativeSeparators(indexPath), index->errorString());
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
        m_error = tr("Could not read the time index %1: unknown layout 0x%2")
                          .arg(QDir::toNativeSeparators(indexPath))
                          .arg(quint8(m_reader->format()), 2, 16, QLatin1Char('0'));
        return;
    }
    if (cancelRequested()) {
        m_cancelled = true;
        m_error = QLatin1String(kCancelled);
        return;
    }
    storeHistory();
}

QString HistoryConverter::reserveDatabasePath(const QString &directory, const QDateTime &startedAt)
{
    if (!QFileInfo(directory).isDir())
        return QString();
    QMutexLocker locker(&namesMutex());
    const QString stem = startedAt.toString(HistoryFormat::kDatabaseNameFormat);
    const QString extension = HistoryFormat::historyExtension();
    for (int attempt = 1; attempt < 1000; ++attempt) {
        const QString name = attempt == 1
                ? stem + extension
                : QStringLiteral("%1 (%2)%3").arg(stem).arg(attempt).arg(extension);
        const QString path = QDir::toNativeSeparators(QDir(directory).filePath(name));
        if (QFileInfo::exists(path) || reservedNames().contains(path))
            continue;
        reservedNames().insert(path);
        return path;
    }
    return QString();
}

void HistoryConverter::releaseDatabasePath(const QString &path)
{
    QMutexLocker locker(&namesMutex());
    reservedNames().remove(path);
}

bool HistoryConverter::storeHistory()
{
    m_cancelled = false;
    if (!m_reader || m_reader->count() == 0) {
        // No placeholder row for an index without values: no database at all.
        m_error = tr("The statistics hold no readings");
        VLOG << "History: no records to convert";
        return false;
    }

    const bool named = m_outputFile.isEmpty();
    QString path;
    QDateTime startedAt;
    if (named) {
        const QString directory = m_outputDirectory.isEmpty() ? HistoryFormat::dataDirectory()
                                                              : m_outputDirectory;
        startedAt = m_startedAt.isValid() ? m_startedAt : QDateTime::currentDateTime();
        path = reserveDatabasePath(directory, startedAt);
    } else if (!QFileInfo::exists(m_outputFile)) {
        path = QDir::toNativeSeparators(m_outputFile);
    }
    if (path.isEmpty()) {
        m_error = named ? tr("Could not name a new history in %1: the folder is missing or every name is taken")
                                  .arg(QDir::toNativeSeparators(m_outputDirectory.isEmpty()
                                                                        ? HistoryFormat::dataDirectory()
                                                                        : m_outputDirectory))
                        : tr("Could not create the history %1: the file exists already")
                                  .arg(QDir::toNativeSeparators(m_outputFile));
        VWARN << "SQLite: Can't open SQLite. Name: \"" << path << '"';
        return false;
    }

    removeAbandonedTemporaries(QFileInfo(path).absolutePath());
    // Written under a temporary name beside the target and renamed when complete: a stopped or
    // failed conversion leaves no half-written history to pass for a complete one later. The
    // file stays open and locked while it is written, so the next conversion in the folder can
    // tell it from one a killed run left.
    std::unique_ptr<QTemporaryFile> temporaryFile;
    for (int attempt = 0; attempt < 3 && !temporaryFile; ++attempt) {
        auto candidate = std::make_unique<QTemporaryFile>(path + QLatin1String(kPartialMarker)
                                                          + QStringLiteral("XXXXXX"));
        candidate->setAutoRemove(false);
        if (!candidate->open()) {
            m_error = tr("Could not create a temporary file beside %1: %2")
                              .arg(path, candidate->errorString());
            break;
        }
        const QString name = QFileInfo(candidate->fileName()).absoluteFilePath();
        QMutexLocker locker(&namesMutex());
        liveTemporaries().insert(name);
        locker.unlock();
        if (PartialFile::hold(*candidate)) {
            temporaryFile = std::move(candidate);
            break;
        }
        locker.relock();
        liveTemporaries().remove(name);
    }
    if (!temporaryFile) {
        if (m_error.isEmpty())
            m_error = tr("Could not create a temporary file beside %1: %2")
                              .arg(path, tr("it was taken away while it was made"));
        VWARN << "SQLite: Can't open SQLite. Name: \"" << path << '"';
        if (named)
            releaseDatabasePath(path);
        return false;
    }
    const QString temporary = temporaryFile->fileName();

    const bool written = writeDatabase(temporary, path);
    bool published = false;
    if (written) {
        PartialFile::letGo(temporaryFile);
        published = publish(temporary, path, startedAt); // releases the name it ends with
    }
    else if (named)
        releaseDatabasePath(path);
    if (!published) {
        temporaryFile.reset(); // Windows removes no file that is still open
        QFile::remove(temporary);
    }
    QMutexLocker locker(&namesMutex());
    liveTemporaries().remove(QFileInfo(temporary).absoluteFilePath());
    return published;
}

void HistoryConverter::removeAbandonedTemporaries(const QString &directory)
{
    static const QRegularExpression pattern(QStringLiteral("^.+\\.partial-[A-Za-z0-9]{6}$"));
    const QStringList names = QDir(directory).entryList(
            { QStringLiteral("*") + QLatin1String(kPartialMarker) + QStringLiteral("??????") },
            QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &name : names) {
        const QString candidate = QDir(directory).absoluteFilePath(name);
        {
            QMutexLocker locker(&namesMutex());
            if (liveTemporaries().contains(candidate))
                continue;
        }
        if (!pattern.match(name).hasMatch() || !looksLikeOurTemporary(candidate))
            continue;
        if (PartialFile::removeIfAbandoned(candidate))
            VLOG << "Removed " << candidate << ", left by a conversion that did not finish";
    }
}

// Gives the finished file its name without replacing anything: another program may have taken
// the time-named one meanwhile, and then the next free name is used.
bool HistoryConverter::publish(const QString &temporary, QString path, const QDateTime &namedAfter)
{
    const bool named = namedAfter.isValid();
    for (int attempt = 0; attempt < 1000; ++attempt) {
        if (QFile::rename(temporary, path)) {
            if (named)
                releaseDatabasePath(path);
            m_databasePath = path;
            m_error.clear();
            return true;
        }
        if (!named || !QFileInfo::exists(path)) {
            if (named)
                releaseDatabasePath(path);
            break;
        }
        const QString taken = path;
        path = reserveDatabasePath(QFileInfo(taken).absolutePath(), namedAfter);
        releaseDatabasePath(taken);
        if (path.isEmpty())
            break;
    }
    m_error = tr("Could not give the history its name %1: %2")
                      .arg(path, path.isEmpty() ? tr("every name is taken") : tr("the file exists already or the folder refused it"));
    VWARN << "SQLite: Can't open SQLite. Name: \"" << path << '"';
    return false;
}

bool HistoryConverter::writeDatabase(const QString &path, const QString &target)
{
    const QString name = QDir::toNativeSeparators(target);
    SqliteDatabase db;
    if (!db.openReadWrite(path)) {
        m_error = sqlError(db, tr("Could not open the history database %1").arg(name));
        VWARN << "SQLite: Can't open SQLite. Name: \"" << path << '"';
        return false;
    }
    // The file is a private temporary until it is complete, so a rollback journal would guard
    // nothing. A modest page cache keeps memory flat while the rows go in in key order.
    db.exec("PRAGMA journal_mode = OFF;");
    db.exec("PRAGMA cache_size = -16384;");
    {
        SqliteStatement create;
        if (!create.prepare(db, QLatin1String(kCreateTable))) {
            m_error = sqlError(db, tr("Could not create the table of the history database %1").arg(name));
            VWARN << "SQLite: Can't create table";
            return false;
        }
        if (create.step() == SqliteStatement::Failed) {
            m_error = sqlError(db, tr("Could not create the table of the history database %1").arg(name));
            VWARN << "SQLite: Can't create table";
            return false;
        }
    }

    const FileReader *reader = m_reader->reader();
    const QVector<FileReader::Entry> &entries = reader->entries();
    const int count = entries.size();
    m_endTime = HistoryFormat::timeFromSeconds(entries.last().seconds);
    m_startTime = HistoryFormat::timeFromSeconds(entries.first().seconds);

    if (!db.exec("BEGIN")) {
        m_error = sqlError(db, tr("Could not begin writing the history database %1").arg(name));
        return false;
    }
    // Declared after the database, so it is finalized before the connection closes.
    SqliteStatement insert;
    if (!insert.prepare(db, QLatin1String(kInsert))) {
        m_error = sqlError(db, tr("Could not prepare the records for the history database %1").arg(name));
        db.exec("ROLLBACK");
        return false;
    }
    const int timeIndex = insert.parameterIndex(":datetime");
    const int valueIndex = insert.parameterIndex(":value");

    static const qint64 baseSeconds = HistoryFormat::timeBase().toSecsSinceEpoch();
    HistoryFormat::LocalTimeFormatter times;
    int rows = 0;
    int repeated = 0;
    int percent = 0;
    qint64 nextPercentAt = 0; // the first row of the next whole percent
    for (int i = 0; i < count; ++i) {
        if (i % kCancelCheckRows == 0 && cancelRequested()) {
            insert.reset();
            db.exec("ROLLBACK");
            m_cancelled = true;
            m_error = QLatin1String(kCancelled);
            VLOG << "History: conversion cancelled";
            return false;
        }
        const FileReader::Entry &entry = entries.at(i);
        // The number the text QString::number(value, 'g', 6) would give: the value has at
        // most four digits, so binding it directly stores the same REAL without the parse.
        if (!insert.bindText(timeIndex, times.recordText(entry.seconds))
            || !insert.bindDouble(valueIndex,
                                  HistoryFormat::decodeValueWord(reader->wordOf(entry)))) {
            m_error = sqlError(db, tr("Could not write a record into the history database %1").arg(name));
            VWARN << "SQLite: Can't insert: " << m_error;
            db.exec("ROLLBACK");
            return false;
        }
        if (insert.step() != SqliteStatement::Failed) {
            ++rows;
        } else if (isDuplicateKey(insert.resultCode())) {
            // A second row for one local second is refused by the key; when clocks went back
            // that is a real reading lost, which the user is told about.
            if (inRepeatedHour(baseSeconds + entry.seconds))
                ++repeated;
        } else {
            // A full disk or an I/O error: a history missing rows must not pass for complete.
            m_error = sqlError(db, tr("Could not write a record into the history database %1").arg(name));
            VWARN << "SQLite: Can't insert: " << m_error;
            insert.reset();
            db.exec("ROLLBACK");
            return false;
        }
        insert.reset();
        // Once per whole percent of int(i * 100 / count), without a division per row.
        if (i >= nextPercentAt) {
            percent = int(qint64(i) * 100 / count);
            emit progress(tr("Converting"), percent);
            nextPercentAt = (qint64(percent + 1) * count + 99) / 100;
        }
    }
    insert.reset();
    if (!db.exec("COMMIT")) {
        m_error = sqlError(db, tr("Could not complete the history database %1").arg(name));
        db.exec("ROLLBACK");
        return false;
    }
    m_rowCount = rows;
    m_repeatedHourLosses = repeated;
    return true;
}
