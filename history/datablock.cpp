#include "history/datablock.h"

DataBlock::DataBlock(const QDateTime &start, const QDateTime &end, QObject *parent)
    : QObject(parent)
    , m_start(start)
    , m_end(end)
{
}
