#pragma once

#include <QDateTime>
#include <QObject>
#include <QVector>

class DataBlock;

// One timed history value. Records travel by value between the worker threads and the page, so
// copying is allowed here (the copy takes the source's parent, as a child of the same owner).
class ValueRecord : public QObject
{
    Q_OBJECT
public:
    // An empty record: the time base, value 0, no file position, no block.
    explicit ValueRecord(QObject *parent = nullptr);
    // A value read from the statistics files: the raw word is decoded here.
    ValueRecord(qint64 seconds, quint16 word, qint64 offset, DataBlock *block,
                QObject *parent = nullptr);
    // A value read back from a history database.
    ValueRecord(const QDateTime &time, double value, QObject *parent = nullptr);
    ValueRecord(const QDateTime &time, double value, qint64 offset, DataBlock *block,
                QObject *parent = nullptr);
    ValueRecord(const ValueRecord &other);
    ValueRecord &operator=(const ValueRecord &other);
    ~ValueRecord() override;

    QDateTime time() const { return m_time; }
    double value() const { return m_value; }
    qint64 offset() const { return m_offset; }
    DataBlock *block() const { return m_block; }
    // Fills a record in place, so a long list is built with one allocation per record.
    void setTime(const QDateTime &time) { m_time = time; }
    void setValue(double value) { m_value = value; }

private:
    QDateTime m_time;
    double m_value = 0;
    qint64 m_offset = -1;
    DataBlock *m_block = nullptr;
};

using ValueRecordList = QVector<ValueRecord>;
