#include "history/historyrecords.h"

#include <algorithm>
#include <numeric>

void HistoryRecords::clear()
{
    times.clear();
    values.clear();
}

void HistoryRecords::reserve(int count)
{
    times.reserve(count);
    values.reserve(count);
}

QDateTime HistoryRecords::time(int index) const
{
    const qint64 msecs = times.at(index);
    return msecs == HistoryFormat::kNoTime ? QDateTime()
                                           : QDateTime::fromMSecsSinceEpoch(msecs, Qt::LocalTime);
}

ValueRecord HistoryRecords::record(int index) const
{
    return ValueRecord(time(index), double(values.at(index)));
}

ValueRecordList HistoryRecords::toValueRecords() const
{
    ValueRecordList list(size());
    for (int i = 0; i < size(); ++i) {
        list[i].setTime(time(i));
        list[i].setValue(double(values.at(i)));
    }
    return list;
}

bool HistoryRecords::isOrdered() const
{
    return std::is_sorted(times.cbegin(), times.cend());
}

void HistoryRecords::sortByTime()
{
    if (isOrdered())
        return;
    QVector<int> order(size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [this](int a, int b) { return times.at(a) < times.at(b); });
    HistoryRecords sorted;
    sorted.reserve(size());
    for (int index : qAsConst(order))
        sorted.append(times.at(index), values.at(index));
    *this = sorted;
}
