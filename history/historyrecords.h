#pragma once

#include "history/historyformat.h"
#include "history/valuerecord.h"

#include <QDateTime>
#include <QVector>

// Records of a history as two parallel arrays of plain values: a million of them take 12 MB and
// pass between threads without a copy (the arrays are implicitly shared). A `ValueRecord` is
// made from one only where an interface wants an object.
struct HistoryRecords
{
    QVector<qint64> times; // milliseconds since the epoch; HistoryFormat::kNoTime when unreadable
    QVector<float> values; // as read back, in single precision

    int size() const { return times.size(); }
    bool isEmpty() const { return times.isEmpty(); }
    void clear();
    void reserve(int count);
    void append(qint64 msecs, float value)
    {
        times.append(msecs);
        values.append(value);
    }

    // The record's moment in local time; invalid for an unreadable time.
    QDateTime time(int index) const;
    ValueRecord record(int index) const;
    ValueRecordList toValueRecords() const;

    bool isOrdered() const;
    // Time order, records of one moment in their present order (unreadable times first).
    void sortByTime();
};
