#include "history/historycommands.h"

#include "history/csvconverter.h"
#include "history/historyconverter.h"
#include "history/historyfilereader.h"
#include "history/filereader.h"
#include "history/historyformat.h"
#include "history/sqlreader.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace HistoryCommands {

ConvertOutcome convert(const QString &indexPath, const QString &valuePath, const QString &outPath,
                       const QString &outDirectory)
{
    ConvertOutcome outcome;
    HistoryConverter converter;
    converter.setIndexFile(indexPath);
    converter.setValueFile(valuePath);
    if (!outPath.isEmpty())
        converter.setOutputFile(outPath);
    if (!outDirectory.isEmpty())
        converter.setOutputDirectory(outDirectory);
    converter.convert();
    outcome.ok = !converter.databasePath().isEmpty();
    outcome.databasePath = converter.databasePath();
    outcome.rows = converter.rowCount();
    outcome.start = converter.startTime();
    outcome.end = converter.endTime();
    outcome.error = converter.errorString();
    outcome.repeatedHourLosses = converter.repeatedHourLosses();
    if (converter.reader() && converter.reader()->reader())
        outcome.skippedIndexRecords = converter.reader()->reader()->skippedRecords();
    return outcome;
}

ExportOutcome exportCsv(const QString &historyPath, const ExportOptions &options,
                        const QString &csvPath)
{
    ExportOutcome outcome;
    QString target = csvPath;
    if (target.isEmpty()) {
        const QFileInfo info(historyPath);
        target = info.dir().filePath(info.completeBaseName() + QLatin1String(".csv"));
    }
    CsvConverter writer(target, historyPath);
    const bool filtered = options.from.isValid() || options.to.isValid()
            || !options.comparison.isEmpty();
    if (filtered) {
        // The reader filters only with both bounds set; open ends reach past any record.
        writer.setFilter(options.from.isValid()
                                 ? options.from
                                 : QDateTime(QDate(1, 1, 1), QTime(0, 0, 0), Qt::LocalTime),
                         options.to.isValid()
                                 ? options.to
                                 : QDateTime(QDate(9999, 12, 31), QTime(23, 59, 59), Qt::LocalTime),
                         SQLReader::comparisonFromText(options.comparison), options.value);
    }
    outcome.csvPath = writer.outputPath();
    if (!QFileInfo(historyPath).isFile()) {
        outcome.error = QCoreApplication::translate("HistoryCommands",
                                                    "Could not open the history database %1: %2")
                                .arg(QDir::toNativeSeparators(historyPath),
                                     QCoreApplication::translate("HistoryCommands", "no such file"));
        return outcome;
    }
    outcome.ok = writer.write();
    outcome.records = writer.recordCount();
    if (!outcome.ok) {
        outcome.error = writer.readFailed()
                ? writer.errorString()
                : QStringLiteral("cannot write %1: %2").arg(outcome.csvPath, writer.errorString());
    }
    return outcome;
}

QDateTime parseTime(const QString &text)
{
    static const char *const kFormats[] = { "yyyy-MM-dd hh:mm:ss", "yyyy-MM-ddThh:mm:ss",
                                            "yyyy-MM-dd" };
    for (const char *format : kFormats) {
        const QDateTime time = QDateTime::fromString(text, QLatin1String(format));
        if (time.isValid())
            return time;
    }
    return QDateTime();
}

bool isComparison(const QString &text)
{
    return SQLReader::comparisonFromText(text) != SQLReader::NoValueFilter;
}

QStringList statisticsFileNames()
{
    return { HistoryFormat::kIndexFileName, HistoryFormat::kValueFileName };
}

int findDeviceFile(const QStringList &deviceNames, const QString &wanted)
{
    for (int i = 0; i < deviceNames.size(); ++i) {
        if (deviceNames.at(i).compare(wanted, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

QString localStatisticsPath(const QString &directory, const QString &deviceName)
{
    // Only the two statistics names are saved, so a hostile name cannot lead out of the folder.
    const QString name = deviceName.toLower();
    if (!statisticsFileNames().contains(name))
        return QString();
    return QDir(directory).filePath(name);
}

} // namespace HistoryCommands
