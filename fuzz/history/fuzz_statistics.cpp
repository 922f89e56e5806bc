// Feeds arbitrary bytes to the statistics readers: the first two bytes give the length of the
// time index, the rest after it is the value file. Checks the promises the readers make on any
// input: bounded output, records in time order without overlaps in the block layout.

#include "history/filereader.h"
#include "history/historyfilereader.h"
#include "history/timedfilereader.h"

#include "fuzz/fuzzsupport.h"

#include <QBuffer>
#include <QFile>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const bool quietened = (fuzz::silenceQt(), true);
    (void)quietened;
    static const QString valuePath = fuzz::scratchPath(QStringLiteral("measure.dat"));
    if (size < 2)
        return 0;
    const size_t indexLength = std::min<size_t>((size_t(data[0]) << 8 | data[1]), size - 2);
    const QByteArray index(reinterpret_cast<const char *>(data + 2), int(indexLength));
    const QByteArray values(reinterpret_cast<const char *>(data + 2 + indexLength),
                            int(size - 2 - indexLength));
    {
        QFile file(valuePath);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        file.write(values);
    }

    QBuffer device;
    device.setData(index);
    device.open(QIODevice::ReadOnly);
    HistoryFileReader reader(&device, valuePath);
    const int count = reader.count();
    if (reader.format() == HistoryFileReader::kBlockLayout) {
        // Each value word is read at most once.
        if (count > (values.size() + 1) / 2)
            abort();
        const auto &entries = reader.reader()->entries();
        for (int i = 1; i < entries.size(); ++i) {
            if (entries.at(i).seconds - entries.at(i - 1).seconds <= TimedFileReader::kOverlapSeconds)
                abort();
        }
    } else if (count > index.size() / 9) {
        abort();
    }
    for (int i = 0; i <= count; ++i) {
        const ValueRecord record = reader.next();
        if (i < count && (record.offset() < 0 || record.offset() >= values.size()))
            abort();
    }
    return 0;
}
