#pragma once

// Builds statistics files byte by byte, so each test states exactly what the monitor wrote.

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QVector>

namespace StatisticsFixture {

inline void appendBigEndian(QByteArray &out, quint64 value, int bytes)
{
    for (int i = bytes - 1; i >= 0; --i)
        out.append(char((value >> (8 * i)) & 0xFF));
}

// One 9-byte record of the block layout: marker, start seconds, value file offset.
inline QByteArray blockRecord(quint32 seconds, quint32 offset, quint8 marker = 0x80)
{
    QByteArray out;
    out.append(char(marker));
    appendBigEndian(out, seconds, 4);
    appendBigEndian(out, offset, 4);
    return out;
}

// One 9-byte record of the single-value layout: marker, seconds, 16-bit offset, two unused.
inline QByteArray valueRecord(quint32 seconds, quint16 offset, quint8 marker = 0x00)
{
    QByteArray out;
    out.append(char(marker));
    appendBigEndian(out, seconds, 4);
    appendBigEndian(out, offset, 2);
    out.append("\xAA\x55", 2);
    return out;
}

inline QByteArray words(const QVector<quint16> &values)
{
    QByteArray out;
    for (quint16 v : values)
        appendBigEndian(out, v, 2);
    return out;
}

// `count` words with mantissas 1, 2, 3... (exponent 0), so a value names its position.
inline QByteArray countingWords(int count, int firstMantissa = 1)
{
    QByteArray out;
    for (int i = 0; i < count; ++i)
        appendBigEndian(out, quint16((firstMantissa + i) % 1024), 2);
    return out;
}

// A block-layout index whose blocks follow one another in the value file.
struct Block
{
    quint32 start;
    int values;
};

inline QByteArray contiguousIndex(const QVector<Block> &blocks)
{
    QByteArray out;
    quint32 offset = 0;
    for (const Block &b : blocks) {
        out += blockRecord(b.start, offset);
        offset += quint32(b.values * 2);
    }
    return out;
}

inline bool writeFile(const QString &path, const QByteArray &data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(data) == data.size();
}

} // namespace StatisticsFixture
