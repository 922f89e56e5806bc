#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

// What the command line's "history" commands do, without the command line: each call runs to
// the end on the calling thread and says what came of it.
namespace HistoryCommands {

struct ConvertOutcome
{
    bool ok = false;
    QString databasePath;
    int rows = 0;
    int skippedIndexRecords = 0;
    // Readings in an autumn hour the clocks repeated that the table could not keep.
    int repeatedHourLosses = 0;
    QDateTime start;
    QDateTime end;
    QString error;
};

// Converts a time index and a value file into a history database: `outPath` when given (it
// must not exist), otherwise a new time-named ".hist" in `outDirectory` (data directory when
// empty).
ConvertOutcome convert(const QString &indexPath, const QString &valuePath,
                       const QString &outPath = QString(), const QString &outDirectory = QString());

struct ExportOptions
{
    QDateTime from; // invalid: from the first record
    QDateTime to; // invalid: to the last record
    QString comparison; // "<", "<=", "=", ">", ">=" or empty for none
    double value = 0;
};

struct ExportOutcome
{
    bool ok = false;
    QString csvPath;
    int records = 0;
    QString error;
};

// Reads `historyPath` with the filters and writes the CSV file; `csvPath` defaults to the
// history's name with ".csv" in place of ".hist".
ExportOutcome exportCsv(const QString &historyPath, const ExportOptions &options,
                        const QString &csvPath = QString());

// "yyyy-MM-dd hh:mm:ss", "yyyy-MM-ddThh:mm:ss" or "yyyy-MM-dd" in local time; invalid otherwise.
QDateTime parseTime(const QString &text);
bool isComparison(const QString &text);

// The statistics files to fetch from the monitor, in the order they are read.
QStringList statisticsFileNames();
// Position of `wanted` in the monitor's file list, letter case ignored; -1 when missing.
int findDeviceFile(const QStringList &deviceNames, const QString &wanted);
// Where a fetched statistics file is saved: under the name the conversion opens. Empty for a
// name that is not one of the statistics files.
QString localStatisticsPath(const QString &directory, const QString &deviceName);

} // namespace HistoryCommands
