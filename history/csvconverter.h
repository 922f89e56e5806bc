#pragma once

#include "history/valuerecord.h"

#include <QLocale>
#include <QString>
#include <QThread>

class QTextStream;

// Writes history records as semicolon-separated text, values in the user's number format.
class CsvConverter : public QThread
{
    Q_OBJECT
public:
    CsvConverter(const QString &fileName, const ValueRecordList &records,
                 QObject *parent = nullptr);
    ~CsvConverter() override;

    // The name with ".csv" appended unless it already contains ".csv" somewhere.
    static QString outputFileName(const QString &fileName);
    // One data line without its line end, e.g. "2016-03-14;09:26:50;0.12".
    static QString formatLine(const ValueRecord &record, const QLocale &locale);
    static QString headerLine();

    // Writes the file on the calling thread; false when it could not be written.
    bool write();
    QString fileName() const { return m_fileName; }

signals:
    void progress(const QString &stage, int percent);

protected:
    void run() override;

private:
    QString m_fileName;
    ValueRecordList m_records;
};
