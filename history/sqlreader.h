#pragma once

#include "history/valuerecord.h"

#include <QDateTime>
#include <QString>
#include <QThread>

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
    ValueRecordList results() const { return m_results; }
    bool error() const { return m_error; }

    bool readHistory(const QString &path);

signals:
    void progress(const QString &stage, int percent);

protected:
    void run() override;

private:
    bool query(const QString &path, const QString &connection);

    int m_comparison = NoValueFilter;
    QDateTime m_start;
    QDateTime m_end;
    ValueRecordList m_results;
    double m_value = 0;
    QString m_fileName;
    bool m_error = false;
};
