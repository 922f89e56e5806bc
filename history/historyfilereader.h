#pragma once

#include "history/valuerecord.h"

#include <QObject>

class FileReader;
class QIODevice;

// Picks the reader for a time index by its first byte and forwards to it.
class HistoryFileReader : public QObject
{
    Q_OBJECT
public:
    static constexpr qint8 kBlockLayout = qint8(0x80);
    static constexpr qint8 kSingleValueLayout = 0x00;

    // Reads both files completely; `valueFilePath` defaults to "measure.dat" in the data
    // directory. An unknown layout byte gives a reader without records.
    explicit HistoryFileReader(QIODevice *index, QObject *parent = nullptr);
    HistoryFileReader(QIODevice *index, const QString &valueFilePath, QObject *parent = nullptr);

    ValueRecord next();
    ValueRecord first() const;
    ValueRecord last() const;
    int count() const;

    qint8 format() const { return m_format; }
    bool knownFormat() const { return m_reader != nullptr; }
    // Null for an unknown layout or an empty index.
    FileReader *reader() const { return m_reader; }

private:
    qint8 m_format = 0;
    FileReader *m_reader = nullptr;
};
