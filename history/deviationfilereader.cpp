#include "history/deviationfilereader.h"

#include "history/historyformat.h"

DeviationFileReader::DeviationFileReader(QIODevice *index, const QString &valueFilePath,
                                         QObject *parent)
    : FileReader(index, valueFilePath, parent)
{
    using namespace HistoryFormat;
    const QByteArray indexData = readIndex();
    const auto *data = reinterpret_cast<const uchar *>(indexData.constData());
    const int recordCount = indexData.size() / kIndexRecordBytes;
    m_entries.reserve(recordCount);
    for (int k = 0; k < recordCount; ++k) {
        const uchar *record = data + qint64(k) * kIndexRecordBytes;
        Entry entry;
        entry.seconds = readBigEndian32(record + 1);
        entry.offset = readBigEndian16(record + 5);
        // An offset past the value file names no value; inventing a 0 would be a wrong reading.
        if (entry.offset >= valueFileSize()) {
            ++m_skipped;
            continue;
        }
        m_entries.append(entry);
    }
}
