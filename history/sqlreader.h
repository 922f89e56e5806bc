#pragma once

#include "history/historyrecords.h"
#include "history/sqlitestatement.h"
#include "history/valuerecord.h"

#include <QAtomicInt>
#include <QDateTime>
#include <QString>
#include <QThread>

#include <functional>

// Reads a history database back, optionally restricted to a time range and a value comparison.
class SQLReader : public QThread
{
    Q_OBJECT
public:
    enum Comparison { Less = 0, LessOrEqual = 1, Equal = 2, Greater = 3, GreaterOrEqual = 4,
                      NoValueFilter = 5 };

    explicit SQLReader(const QString &fileName = QString(), QObject *parent = nullptr);
    ~SQLReader() override;

    void setStart(const QDateTime &start) { m_start = start; }
    void setEnd(const QDateTime &end) { m_end = end; }
    void setFileName(const QString &fileName) { m_fileName = fileName; }
    // "<", "<=", "=", ">", ">="; any other text turns the value filter off.
    void setValueFilter(const QString &comparison, double value);
    // 0 to 5 as in Comparison; anything else turns the value filter off.
    void setValueFilter(int comparison, double value);

    static int comparisonFromText(const QString &text);
    // The statement readHistory() runs with the current filters.
    QString queryText() const;

    QDateTime startTime() const { return m_start; }
    QDateTime endTime() const { return m_end; }
    int comparison() const { return m_comparison; }
    double value() const { return m_value; }
    QString fileName() const { return m_fileName; }
    // The records of the last read, flat; shared, not copied.
    HistoryRecords records() const { return m_records; }
    // The same as objects, made on each call: for callers that need `ValueRecord`s.
    ValueRecordList results() const { return m_records.toValueRecords(); }
    bool error() const { return m_error; }
    // What failed in the last read and why, e.g. "Could not read the history NAME: file is not a
    // database"; empty after success.
    QString errorString() const { return m_errorString; }
    // Puts the records in time order after the read (on the reader's thread): a database from the
    // single-value layout keeps the device's order, which need not be the order of time.
    void setSortByTime(bool sort) { m_sortByTime = sort; }

    bool readHistory(const QString &path);

    // Runs the query with the current filters and hands every row to `visit` (column 0 the time
    // as stored, column 1 the value) on the calling thread, after telling `started` how many rows
    // will come. Stops early, returning false, when `visit` returns false or the read is cancelled.
    using RowVisitor = std::function<bool(const SqliteStatement &row)>;
    bool visitRows(const QString &path, const std::function<void(int rows)> &started,
                   const RowVisitor &visit);

    // Asks a running read to stop (from any thread); it ends soon with no records, no error and
    // wasCancelled() set. The next start() begins afresh.
    void cancel() { m_cancel.storeRelaxed(1); }
    bool wasCancelled() const { return m_cancelled; }

signals:
    void progress(const QString &stage, int percent);

protected:
    void run() override;

private:
    bool query(const QString &path, const std::function<void(int rows)> &started,
               const RowVisitor &visit);

    int m_comparison = NoValueFilter;
    QDateTime m_start;
    QDateTime m_end;
    HistoryRecords m_records;
    double m_value = 0;
    QString m_fileName;
    bool m_error = false;
    QString m_errorString;
    bool m_sortByTime = false;
    bool m_cancelled = false;
    QAtomicInt m_cancel;
};
