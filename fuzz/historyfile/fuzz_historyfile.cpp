// Opens arbitrary bytes as a .hist file someone sent, one way an input: the provenance table and
// the record count that "history info" shows, the history page's reads (everything, then a time
// range with a value comparison), or the CSV export's read. Beyond not crashing: a failed read says why, and
// a read that succeeded hands over its records in time order.
#include "history/csvconverter.h"
#include "history/historyformat.h"
#include "history/provenance.h"
#include "history/sqlreader.h"

#include "fuzz/fuzzsupport.h"

#include <QCoreApplication>
#include <QFile>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv);
    fuzz::silenceQt();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const QString path = fuzz::scratchPath(QStringLiteral("sent.hist"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        file.write(reinterpret_cast<const char *>(data), qint64(size));
    }

    // Each input goes one of the three ways such a file is read (its size picks which), so that
    // an execution opens the file once or twice rather than five times.
    const size_t way = size % 3;
    if (way == 0) {
        // "history info": the provenance table and the record count.
        Provenance::Entries entries;
        QString error;
        if (!Provenance::read(path, &entries, &error) && error.isEmpty())
            abort();
        error.clear();
        if (Provenance::countRecords(path, &error) < 0 && error.isEmpty())
            abort();
        return 0;
    }
    if (way == 1) {
        // The export writes straight into a device, so nothing is left on disk.
        CsvConverter exporter(QStringLiteral("/dev/null"), path);
        exporter.setFilter(QDateTime(QDate(2000, 1, 1), QTime(0, 0)),
                           QDateTime(QDate(2100, 1, 1), QTime(0, 0)), SQLReader::Greater, 0.5);
        if (!exporter.write() && exporter.errorString().isEmpty())
            abort();
        return 0;
    }

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
    // One value comparison per input, so that each input costs few reads.
    reader.setValueFilter(int(size / 3 % 6), 0.5);
    if (reader.readHistory(path) && !reader.records().isOrdered())
        abort();
    return 0;
}
