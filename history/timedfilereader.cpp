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
    // Each word is read at most once: one allocation instead of a growing copy of millions.
    m_entries.reserve(int(std::min<qint64>((valueSize + 1) / kValueWordBytes, kMaxRecords)));

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
            // Offsets are 32-bit in the index; a value file beyond that has no addressable words.
            while (position < limit && position < valueSize && position <= 0xFFFFFFFFLL) {
                if (m_entries.size() >= kMaxRecords) {
                    m_truncated = true;
                    break;
                }
                Entry entry;
                entry.seconds = seconds;
                entry.offset = quint32(position);
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
    // Entries were appended in file order, so (block, offset) rises with that order and breaks
    // ties as a stable sort would, without its buffer. Blocks are mostly in time order already.
    const auto earlier = [](const Entry &a, const Entry &b) {
        if (a.seconds != b.seconds)
            return a.seconds < b.seconds;
        if (a.block != b.block)
            return a.block < b.block;
        return a.offset < b.offset;
    };
    if (!std::is_sorted(m_entries.cbegin(), m_entries.cend(), earlier))
        std::sort(m_entries.begin(), m_entries.end(), earlier);

    // The window keeps copies of what it compares, so survivors can be moved down in place.
    struct Mark
    {
        qint64 seconds;
        qint32 block;
    };
    const int n = m_entries.size();
    Entry *entries = m_entries.data();
    std::deque<Mark> window; // falling block numbers
    int ahead = 0;
    int kept = 0;
    for (int i = 0; i < n; ++i) {
        const Entry current = entries[i];
        while (ahead < n && entries[ahead].seconds <= current.seconds + kOverlapSeconds) {
            const Mark mark { entries[ahead].seconds, entries[ahead].block };
            while (!window.empty() && window.back().block <= mark.block)
                window.pop_back();
            window.push_back(mark);
            ++ahead;
        }
        while (window.front().seconds < current.seconds - kOverlapSeconds)
            window.pop_front();
        if (window.front().block <= current.block)
            entries[kept++] = current;
    }
    m_entries.resize(kept);
}
