#pragma once

#include "history/valuerecord.h"

#include <QByteArray>
#include <QObject>
#include <QVector>

class DataBlock;
class QFile;
class QIODevice;

// Common ground of the two time-index layouts: both read the whole index and the value file
// once, in the constructor of the concrete reader, and then only hand out copies of records.
class FileReader : public QObject
{
    Q_OBJECT
public:
    // One value as read from the files: 16 bytes, so millions of them stay cheap. The word is
    // read from the mapped value file when needed (wordOf). `block` is an index into the
    // reader's blocks in file order, -1 for none.
    struct Entry
    {
        qint64 seconds = 0;
        quint32 offset = 0;
        qint32 block = -1;
    };

    // Reading stops at this many values, far beyond what the monitor's memory can hold, so a
    // hostile value file cannot make the list outgrow what a QVector can address.
    static constexpr int kMaxRecords = 1 << 24;

    FileReader(QIODevice *index, const QString &valueFilePath, QObject *parent = nullptr);
    ~FileReader() override;

    virtual ValueRecord next();
    virtual ValueRecord first() const;
    virtual ValueRecord last() const;
    virtual int count() const;

    void rewind() { m_cursor = 0; }
    const QVector<Entry> &entries() const { return m_entries; }
    quint16 wordOf(const Entry &entry) const { return wordAt(entry.offset); }
    ValueRecord recordAt(int index) const;
    // Blocks sorted by start time.
    QVector<DataBlock *> blocks() const;
    // Index records that named no readable value (offset past the value file, cut-off tail).
    int skippedRecords() const { return m_skipped; }
    // Values read but replaced by those of a later block at the same moments (overlapping blocks).
    int supersededRecords() const { return m_superseded; }
    bool valueFileOpened() const { return m_valueFileOpened; }
    bool truncated() const { return m_truncated; }

protected:
    // The index bytes from the device's current position, whole 9-byte records only.
    QByteArray readIndex();
    // The value word at byte `offset`; a lone last byte is the high byte of a word with low 0.
    quint16 wordAt(qint64 offset) const;
    qint64 valueFileSize() const { return m_valueSize; }
    int addBlock(DataBlock *block);

    QIODevice *m_index = nullptr;
    QVector<Entry> m_entries;
    QVector<DataBlock *> m_blocks; // file order; children of this reader
    int m_skipped = 0;
    int m_superseded = 0;
    bool m_truncated = false;

private:
    QFile *m_values = nullptr;
    QByteArray m_valueCopy; // used when the value file cannot be mapped
    const uchar *m_valueData = nullptr;
    qint64 m_valueSize = 0;
    bool m_valueFileOpened = false;
    int m_cursor = 0;
};

// Reads 32- and 16-bit big-endian unsigned fields of the index.
inline quint32 readBigEndian32(const uchar *p)
{
    return (quint32(p[0]) << 24) | (quint32(p[1]) << 16) | (quint32(p[2]) << 8) | quint32(p[3]);
}

inline quint16 readBigEndian16(const uchar *p)
{
    return quint16((p[0] << 8) | p[1]);
}
