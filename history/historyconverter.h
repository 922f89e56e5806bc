#pragma once

#include <QAtomicInt>
#include <QDateTime>
#include <QString>
#include <QThread>

class HistoryFileReader;

// Turns the statistics files into a new SQLite history database on a thread of its own.
class HistoryConverter : public QThread
{
    Q_OBJECT
public:
    explicit HistoryConverter(QObject *parent = nullptr);
    ~HistoryConverter() override;

    // The page converts the files it saved in the data directory; the command line names them.
    void setIndexFile(const QString &path) { m_indexFile = path; }
    void setValueFile(const QString &path) { m_valueFile = path; }
    void setOutputDirectory(const QString &path) { m_outputDirectory = path; }
    // An exact output path instead of one named after the start time; it must not exist yet.
    void setOutputFile(const QString &path) { m_outputFile = path; }
    // The moment the database is named after; the current local time when not set.
    void setStartedAt(const QDateTime &time) { m_startedAt = time; }

    // Runs the conversion on the calling thread; run() does the same on the converter's thread.
    void convert();
    bool storeHistory();
    // Asks a running conversion to stop (from any thread); it ends within a few thousand rows,
    // removes what it had written and reports wasCancelled(). The statistics files stay.
    void cancel() { m_cancel.storeRelaxed(1); }
    bool wasCancelled() const { return m_cancelled; }

    QString databasePath() const { return m_databasePath; }
    QDateTime startTime() const { return m_startTime; }
    QDateTime endTime() const { return m_endTime; }
    int rowCount() const { return m_rowCount; }
    // Readings that fell on an hour the clocks repeated in autumn: the table keys on local time,
    // so the first of the two readings at one local time was kept and these were not stored.
    int repeatedHourLosses() const { return m_repeatedHourLosses; }
    // What the user is told about them, e.g. "3 readings in the repeated hour ...".
    static QString repeatedHourText(int losses);
    // Why no database was written; empty after success.
    QString errorString() const { return m_error; }
    HistoryFileReader *reader() const { return m_reader; }

    // "yyyy.MM.dd hh-mm-ss.hist" in `directory`, or with " (2)", " (3)"... when that is taken.
    // The name is held for this process until released, so two conversions in one second cannot
    // pick one name; the file itself appears only when a conversion is complete.
    static QString reserveDatabasePath(const QString &directory, const QDateTime &startedAt);
    static void releaseDatabasePath(const QString &path);

signals:
    void progress(const QString &stage, int percent);

protected:
    void run() override;

private:
    // Writes the database at path (the temporary); messages name target, the history it becomes.
    bool writeDatabase(const QString &path, const QString &target);
    // Our temporaries in directory ("NAME.partial-XXXXXX") that no live process holds: left by a
    // conversion that was killed.
    static void removeAbandonedTemporaries(const QString &directory);
    bool publish(const QString &temporary, QString path, const QDateTime &namedAfter);
    bool cancelRequested() const { return m_cancel.loadRelaxed() != 0; }

    HistoryFileReader *m_reader = nullptr;
    QString m_databasePath;
    QDateTime m_startTime;
    QDateTime m_endTime;

    QString m_indexFile;
    QString m_valueFile;
    QString m_outputDirectory;
    QString m_outputFile;
    QDateTime m_startedAt;
    QString m_error;
    int m_rowCount = 0;
    int m_repeatedHourLosses = 0;
    QAtomicInt m_cancel;
    bool m_cancelled = false;
};
