#pragma once

#include <QDateTime>
#include <QObject>

// One measuring block of the time index: a run of values taken every ten seconds. `end` is the
// moment just after the last value (equal to `start` for a block without values).
class DataBlock : public QObject
{
    Q_OBJECT
public:
    explicit DataBlock(const QDateTime &start = QDateTime(), const QDateTime &end = QDateTime(),
                       QObject *parent = nullptr);

    QDateTime start() const { return m_start; }
    QDateTime end() const { return m_end; }
    void setStart(const QDateTime &start) { m_start = start; }
    void setEnd(const QDateTime &end) { m_end = end; }

private:
    QDateTime m_start;
    QDateTime m_end;
};
