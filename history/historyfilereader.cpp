#include "history/historyfilereader.h"

#include "history/deviationfilereader.h"
#include "history/historyformat.h"
#include "history/timedfilereader.h"
#include "link/logging.h"

#include <QDir>

HistoryFileReader::HistoryFileReader(QIODevice *index, QObject *parent)
    : HistoryFileReader(index,
                        QDir(HistoryFormat::dataDirectory()).filePath(HistoryFormat::kValueFileName),
                        parent)
{
}

HistoryFileReader::HistoryFileReader(QIODevice *index, const QString &valueFilePath,
                                     QObject *parent)
    : QObject(parent)
{
    char first = 0;
    if (!index || index->peek(&first, 1) != 1)
        return;
    m_format = qint8(first);
    if (m_format == kBlockLayout)
        m_reader = new TimedFileReader(index, valueFilePath, this);
    else if (m_format == kSingleValueLayout)
        m_reader = new DeviationFileReader(index, valueFilePath, this);
    else
        VWARN << "History: unknown time index layout " << int(quint8(m_format));
}

ValueRecord HistoryFileReader::next()
{
    return m_reader ? m_reader->next() : ValueRecord();
}

ValueRecord HistoryFileReader::first() const
{
    return m_reader ? m_reader->first() : ValueRecord();
}

ValueRecord HistoryFileReader::last() const
{
    return m_reader ? m_reader->last() : ValueRecord();
}

int HistoryFileReader::count() const
{
    return m_reader ? m_reader->count() : 0;
}
