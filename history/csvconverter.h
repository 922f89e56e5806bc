#pragma once

#include "history/sqlreader.h"
#include "history/valuerecord.h"

#include <QAtomicInt>
#include <QByteArray>
#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QThread>

class QIODevice;

// Writes history records as semicolon-separated text, values in the user's number format.
// From a history database the rows are read and written as they come, so memory does not grow
// with the history; the file appears, complete, only when everything was written.
class CsvConverter : public QThread
{
    Q_OBJECT
public:
    // Writes the given records.
    CsvConverter(const QString &fileName, const ValueRecordList &records,
                 QObject *parent = nullptr);
    // Writes the rows of the history database `historyPath`; setFilter() narrows them as
    // SQLReader's filters do.
    CsvConverter(const QString &fileName, const QString &historyPath, QObject *parent = nullptr);
    ~CsvConverter() override;

    void setFilter(const QDateTime &start, const QDateTime &end, int comparison, double value);

    // The name with ".csv" appended unless the file name (not its folder) contains ".csv".
    static QString outputFileName(const QString &fileName);
    // One data line without its line end, e.g. "2016-03-14;09:26:50;0.12".
    static QString formatLine(const ValueRecord &record, const QLocale &locale);
    static QString headerLine();

    // Writes the file on the calling thread; false when it could not be written, and then no
    // file of that name was created or replaced.
    bool write();
    QString fileName() const { return m_fileName; }
    // The file written (or that could not be): fileName() with the suffix rule applied.
    QString outputPath() const { return outputFileName(m_fileName); }
    bool succeeded() const { return m_succeeded; }
    // Why the last write failed, e.g. "No space left on device"; empty after success.
    QString errorString() const { return m_error; }
    // Whether the last write failed because the history could not be read (not the file).
    bool readFailed() const { return m_readFailed; }
    // Data lines of the last write.
    int recordCount() const { return m_written; }
    // Stops a running export (from any thread); nothing is left behind.
    void cancel();
    bool wasCancelled() const { return m_cancelled; }

signals:
    void progress(const QString &stage, int percent);

protected:
    void run() override;

private:
    class LineWriter;
    bool writeAll(QIODevice *file);
    bool writeRecords(LineWriter &out);
    bool writeRows(LineWriter &out);

    QString m_fileName;
    ValueRecordList m_records;
    QString m_historyPath;
    SQLReader m_source;
    QString m_error;
    int m_written = 0;
    QAtomicInt m_cancel;
    bool m_cancelled = false;
    bool m_readFailed = false;
    bool m_succeeded = false;
};
