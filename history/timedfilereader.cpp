#include "history/timedfilereader.h"

#include "history/datablock.h"
#include "history/historyformat.h"

#include <algorithm>
#include <deque>

TimedFileReader::TimedFileReader(QIODevice *index, const QString &valueFilePath, QObject *parent)
    : FileReader(index, valueFilePath, parent)
{
    readBlocks(readIndex());
    const int read = m_entries.size();
    dropSuperseded();
    m_superseded = read - m_entries.size();
}

void TimedFileReader::readBlocks(const QByteArray &index)
{
    using namespace HistoryFormat;
    const auto *data = reinterpret_cast<const uchar *>(index.constData());
    const int recordCount = index.size() / kIndexRecordBytes;
    const qint64 valueSize = valueFileSize();
    // Where reading of the value file stopped. Each word is read at most once, so an index
    // whose offsets jump back and forth cannot multiply a small value file into a huge list.
    qint64 readPosition = 0;

    for (int k = 0; k < recordCount; ++k) {
        const uchar *record = data + qint64(k) * kIndexRecordBytes;
        const qint64 startSeconds = readBigEndian32(record + 1);
        const qint64 offset = readBigEndian32(record + 5);
        const bool lastBlock = k + 1 == recordCount;
        const qint64 limit = lastBlock ? valueSize : readBigEndian32(record + kIndexRecordBytes + 5);

        auto *block = new DataBlock(timeFromSeconds(startSeconds), timeBase());
        const int blockIndex = addBlock(block);

        qint64 seconds = startSeconds;
        const int valuesBefore = m_entries.size();
        if (offset < limit) {
            qint64 position = offset;
            if (position < readPosition) {
                // Words already taken by an earlier block stay with it; this block's clock
                // still counts from its own offset.
                const qint64 skippedWords = (readPosition - position + 1) / kValueWordBytes;
                position += skippedWords * kValueWordBytes;
                seconds += skippedWords * kBlockStepSeconds;
            }
            while (position < limit && position < valueSize) {
                if (m_entries.size() >= kMaxRecords) {
                    m_truncated = true;
                    break;
                }
                Entry entry;
                entry.seconds = seconds;
                entry.offset = position;
                entry.word = wordAt(position);
                entry.block = blockIndex;
                m_entries.append(entry);
                position += kValueWordBytes;
                seconds += kBlockStepSeconds;
            }
            readPosition = std::max(readPosition, std::min(position, valueSize));
        }
        // The moment after the last value; the start itself for a block without values.
        block->setEnd(timeFromSeconds(m_entries.size() > valuesBefore ? seconds : startSeconds));
        if (m_truncated)
            break;
    }
}

// A value removes every record of an earlier block at most kOverlapSeconds away from it. So a
// value survives exactly when no value of a later block lies that close. Values of one block
// are ten seconds apart and never touch each other. One pass over the values in time order
// with a sliding window maximum of the block number decides every value, whatever the order
// of the blocks in the file.
void TimedFileReader::dropSuperseded()
{
    std::stable_sort(m_entries.begin(), m_entries.end(),
                     [](const Entry &a, const Entry &b) { return a.seconds < b.seconds; });

    const int n = m_entries.size();
    QVector<Entry> kept;
    kept.reserve(n);
    std::deque<int> window; // indices with falling block numbers
    int ahead = 0;
    for (int i = 0; i < n; ++i) {
        const qint64 seconds = m_entries.at(i).seconds;
        while (ahead < n && m_entries.at(ahead).seconds <= seconds + kOverlapSeconds) {
            while (!window.empty() && m_entries.at(window.back()).block <= m_entries.at(ahead).block)
                window.pop_back();
            window.push_back(ahead);
            ++ahead;
        }
        while (m_entries.at(window.front()).seconds < seconds - kOverlapSeconds)
            window.pop_front();
        if (m_entries.at(window.front()).block <= m_entries.at(i).block)
            kept.append(m_entries.at(i));
    }
    m_entries = kept;
}
