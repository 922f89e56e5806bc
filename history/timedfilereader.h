#pragma once

#include "history/filereader.h"

// The block layout of the time index: each 9-byte record opens a run of values taken every
// ten seconds. Where blocks overlap, the later block's values replace the earlier ones.
class TimedFileReader : public FileReader
{
    Q_OBJECT
public:
    TimedFileReader(QIODevice *index, const QString &valueFilePath, QObject *parent = nullptr);

    // Records of earlier blocks closer than this to a later block's value are superseded by it.
    static constexpr qint64 kOverlapSeconds = 9;

private:
    void readBlocks(const QByteArray &index);
    void dropSuperseded();
};
