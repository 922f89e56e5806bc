#pragma once

#include "history/filereader.h"

// The single-value layout of the time index: each 9-byte record names the time and the value
// file offset of one value. Records stay in file order.
class DeviationFileReader : public FileReader
{
    Q_OBJECT
public:
    DeviationFileReader(QIODevice *index, const QString &valueFilePath, QObject *parent = nullptr);
};
