#pragma once

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

    QString databasePath() const { return m_databasePath; }
    QDateTime startTime() const { return m_startTime; }
    QDateTime endTime() const { return m_endTime; }
    int rowCount() const { return m_rowCount; }
    // Why no database was written; empty after success.
    QString errorString() const { return m_error; }
    HistoryFileReader *reader() const { return m_reader; }

    // "yyyy.MM.dd hh-mm-ss.hist" in `directory`, or with " (2)", " (3)"... when that is taken.
    // The file is created empty here, so two conversions in one second cannot pick one name.
    static QString reserveDatabasePath(const QString &directory, const QDateTime &startedAt);

signals:
    void progress(const QString &stage, int percent);

protected:
    void run() override;

private:
    bool writeDatabase(const QString &path, const QString &connection);

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
};
