#include "history/valuerecord.h"

#include "history/historyformat.h"

ValueRecord::ValueRecord(QObject *parent)
    : QObject(parent)
    , m_time(HistoryFormat::timeBase())
{
}

ValueRecord::ValueRecord(qint64 seconds, quint16 word, qint64 offset, DataBlock *block,
                         QObject *parent)
    : QObject(parent)
    , m_time(HistoryFormat::timeFromSeconds(seconds))
    , m_value(HistoryFormat::decodeValueWord(word))
    , m_offset(offset)
    , m_block(block)
{
}

ValueRecord::ValueRecord(const QDateTime &time, double value, QObject *parent)
    : QObject(parent)
    , m_time(time)
    , m_value(value)
{
}

ValueRecord::ValueRecord(const QDateTime &time, double value, qint64 offset, DataBlock *block,
                         QObject *parent)
    : QObject(parent)
    , m_time(time)
    , m_value(value)
    , m_offset(offset)
    , m_block(block)
{
}

ValueRecord::ValueRecord(const ValueRecord &other)
    : QObject(other.parent())
    , m_time(other.m_time)
    , m_value(other.m_value)
    , m_offset(other.m_offset)
    , m_block(other.m_block)
{
}

ValueRecord &ValueRecord::operator=(const ValueRecord &other)
{
    if (this != &other) {
        if (parent() != other.parent())
            setParent(other.parent());
        m_time = other.m_time;
        m_value = other.m_value;
        m_offset = other.m_offset;
        m_block = other.m_block;
    }
    return *this;
}

ValueRecord::~ValueRecord() = default;
