#include "history/filereader.h"

#include "history/datablock.h"
#include "history/historyformat.h"

#include <QFile>

#include <algorithm>

FileReader::FileReader(QIODevice *index, const QString &valueFilePath, QObject *parent)
    : QObject(parent)
    , m_index(index)
    , m_values(new QFile(valueFilePath))
{
    m_valueFileOpened = m_values->open(QIODevice::ReadOnly);
    if (!m_valueFileOpened)
        return;
    m_valueSize = m_values->size();
    if (m_valueSize > 0)
        m_valueData = m_values->map(0, m_valueSize);
    if (!m_valueData && m_valueSize > 0) {
        m_valueCopy = m_values->readAll();
        m_valueSize = m_valueCopy.size();
        m_valueData = reinterpret_cast<const uchar *>(m_valueCopy.constData());
    }
}

FileReader::~FileReader()
{
    delete m_values;
}

ValueRecord FileReader::recordAt(int index) const
{
    if (index < 0 || index >= m_entries.size())
        return ValueRecord();
    const Entry &entry = m_entries.at(index);
    DataBlock *block = entry.block >= 0 ? m_blocks.at(entry.block) : nullptr;
    return ValueRecord(entry.seconds, wordAt(entry.offset), entry.offset, block);
}

ValueRecord FileReader::next()
{
    if (m_cursor >= m_entries.size())
        return ValueRecord();
    return recordAt(m_cursor++);
}

ValueRecord FileReader::first() const
{
    return recordAt(0);
}

ValueRecord FileReader::last() const
{
    return recordAt(m_entries.size() - 1);
}

int FileReader::count() const
{
    return m_entries.size();
}

QVector<DataBlock *> FileReader::blocks() const
{
    QVector<DataBlock *> sorted = m_blocks;
    std::stable_sort(sorted.begin(), sorted.end(), [](const DataBlock *a, const DataBlock *b) {
        return a->start() < b->start();
    });
    return sorted;
}

QByteArray FileReader::readIndex()
{
    if (!m_index || !m_index->isReadable())
        return QByteArray();
    QByteArray data = m_index->readAll();
    const int whole = data.size() - data.size() % HistoryFormat::kIndexRecordBytes;
    if (whole != data.size()) {
        // A cut-off last record has no trustworthy offset; it is left out.
        ++m_skipped;
        data.truncate(whole);
    }
    return data;
}

quint16 FileReader::wordAt(qint64 offset) const
{
    if (offset < 0 || offset >= m_valueSize)
        return 0;
    if (offset + 1 == m_valueSize)
        return quint16(m_valueData[offset] << 8);
    return readBigEndian16(m_valueData + offset);
}

int FileReader::addBlock(DataBlock *block)
{
    block->setParent(this);
    m_blocks.append(block);
    return m_blocks.size() - 1;
}
