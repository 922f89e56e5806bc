// Opens arbitrary bytes as a .hist file someone sent: the provenance table and the record count
// that "history info" shows, the history page's reads (everything, then a time range with a
// value comparison) and the CSV export's read. Beyond not crashing: a failed read says why, and
// a read that succeeded hands over its records in time order.
#include "history/csvconverter.h"
#include "history/historyformat.h"
#include "history/provenance.h"
#include "history/sqlreader.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>

namespace {

void quiet(QtMsgType, const QMessageLogContext &, const QString &) { }

QTemporaryDir *folder = nullptr;

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv);
    qInstallMessageHandler(quiet);
    folder = new QTemporaryDir;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString path = folder->filePath(QStringLiteral("sent.hist"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        file.write(reinterpret_cast<const char *>(data), qint64(size));
    }

    Provenance::Entries entries;
    QString error;
    if (!Provenance::read(path, &entries, &error) && error.isEmpty())
        abort();
    error.clear();
    if (Provenance::countRecords(path, &error) < 0 && error.isEmpty())
        abort();

    SQLReader reader(path);
    reader.setSortByTime(true);
    if (!reader.readHistory(path))
        return 0;
    const HistoryRecords all = reader.records();
    if (all.times.size() != all.values.size() || !all.isOrdered())
        abort();

    // The search pop-up offers the range of the history's valid times.
    int firstValid = 0;
    while (firstValid < all.size() && all.times.at(firstValid) == HistoryFormat::kNoTime)
        ++firstValid;
    if (firstValid < all.size()) {
        reader.setStart(all.time(firstValid));
        reader.setEnd(all.time(all.size() - 1));
    }
    // One value comparison per input (the file's size picks it), so that each input costs few reads.
    reader.setValueFilter(int(size % 6), 0.5);
    if (reader.readHistory(path) && !reader.records().isOrdered())
        abort();

    // The export writes straight into a device, so nothing is left on disk.
    CsvConverter exporter(QStringLiteral("/dev/null"), path);
    exporter.setFilter(reader.startTime(), reader.endTime(), SQLReader::Greater, 0.5);
    if (!exporter.write() && exporter.errorString().isEmpty())
        abort();
    return 0;
}
