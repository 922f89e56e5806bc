#include "history/csvconverter.h"

#include "history/historyformat.h"
#include "link/logging.h"

#include <QFile>
#include <QTextStream>

CsvConverter::CsvConverter(const QString &fileName, const ValueRecordList &records,
                           QObject *parent)
    : QThread(parent)
    , m_fileName(fileName)
    , m_records(records)
{
}

CsvConverter::~CsvConverter()
{
    wait();
}

QString CsvConverter::outputFileName(const QString &fileName)
{
    if (fileName.contains(QLatin1String(".csv")))
        return fileName;
    return fileName + QLatin1String(".csv");
}

QString CsvConverter::headerLine()
{
    return QStringLiteral("Date; Time; Value");
}

QString CsvConverter::formatLine(const ValueRecord &record, const QLocale &locale)
{
    const QDateTime time = record.time();
    return HistoryFormat::formatDate(time.date()) + QLatin1Char(';')
            + HistoryFormat::formatTime(time.time()) + QLatin1Char(';')
            + locale.toString(record.value(), 'g', 6);
}

void CsvConverter::run()
{
    write();
}

bool CsvConverter::write()
{
    QFile file(outputFileName(m_fileName));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
        VLOG << "CSV: Can't open \"" << file.fileName() << '"';
        return false;
    }
    const QLocale locale;
    QTextStream out(&file);
    out << headerLine() << '\n';
    const int count = m_records.size();
    int lastPercent = -1;
    for (int i = 0; i < count; ++i) {
        out << formatLine(m_records.at(i), locale) << '\n';
        // Once per percent: a signal per record would queue a million events on the page.
        const int percent = int(qint64(i) * 100 / count);
        if (percent != lastPercent) {
            lastPercent = percent;
            emit progress(tr("Export CVS"), percent);
        }
    }
    out.flush();
    file.close();
    return out.status() == QTextStream::Ok && file.error() == QFileDevice::NoError;
}
