// Conversion, read-back and CSV export of large histories, each next to a floor written with
// the SQLite C API alone (one transaction, one prepared statement), so the ratio shows what
// our layers cost. Peak memory is measured in a fresh process per subject (this program run
// again with --peak), so what the benchmark itself holds does not count.

#include "history/csvconverter.h"
#include "history/filereader.h"
#include "history/historycommands.h"
#include "history/historyfilereader.h"
#include "history/historyformat.h"
#include "history/ui/historyviewwidget.h"
#include "history/sqlreader.h"

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <sys/resource.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr int kValuesPerBlock = 1000;

QTemporaryDir &workDir()
{
    static QTemporaryDir dir;
    return dir;
}

void appendBigEndian(QByteArray &out, quint32 value, int bytes)
{
    for (int i = bytes - 1; i >= 0; --i)
        out.append(char((value >> (8 * i)) & 0xFF));
}

struct Statistics
{
    QString index;
    QString values;
    QString history; // converted once, for the readers
    std::vector<std::pair<std::string, std::string>> rows; // what the converter inserts
};

// `total` values in blocks of a thousand; every tenth block starts halfway into its predecessor.
const Statistics &statistics(int total)
{
    static std::map<int, Statistics> cache;
    auto found = cache.find(total);
    if (found != cache.end())
        return found->second;
    Statistics &s = cache[total];
    const QString stem = workDir().filePath(QString::number(total));
    s.index = stem + QStringLiteral(".meastime.dat");
    s.values = stem + QStringLiteral(".measure.dat");
    QByteArray index;
    QByteArray values;
    quint32 start = 0;
    const int blocks = total / kValuesPerBlock;
    for (int b = 0; b < blocks; ++b) {
        if (b > 0)
            start += (b % 10 == 5 ? kValuesPerBlock / 2 : kValuesPerBlock) * 10;
        index.append(char(0x80));
        appendBigEndian(index, start, 4);
        appendBigEndian(index, quint32(values.size()), 4);
        for (int i = 0; i < kValuesPerBlock; ++i)
            appendBigEndian(values, quint32(((b + i) % 3) << 10 | ((b * 7 + i) % 1024)), 2);
    }
    QFile indexFile(s.index);
    QFile valueFile(s.values);
    if (!indexFile.open(QIODevice::WriteOnly) || !valueFile.open(QIODevice::WriteOnly))
        qFatal("cannot write the statistics files");
    indexFile.write(index);
    valueFile.write(values);
    indexFile.close();
    valueFile.close();

    const HistoryCommands::ConvertOutcome outcome
            = HistoryCommands::convert(s.index, s.values, stem + QStringLiteral(".hist"));
    if (!outcome.ok)
        qFatal("conversion failed: %s", qPrintable(outcome.error));
    s.history = outcome.databasePath;

    QFile indexAgain(s.index);
    indexAgain.open(QIODevice::ReadOnly);
    HistoryFileReader reader(&indexAgain, s.values);
    HistoryFormat::LocalTimeFormatter times;
    for (const FileReader::Entry &e : reader.reader()->entries()) {
        s.rows.emplace_back(times.recordText(e.seconds).toStdString(),
                            QString::number(HistoryFormat::decodeValueWord(reader.reader()->wordOf(e)), 'g', 6)
                                    .toStdString());
    }
    return s;
}

void check(int rc, sqlite3 *db)
{
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW)
        qFatal("sqlite: %s", sqlite3_errmsg(db));
}

void BM_Convert(benchmark::State &state)
{
    const Statistics &s = statistics(int(state.range(0)));
    const QString out = workDir().filePath(QStringLiteral("convert.hist"));
    for (auto _ : state) {
        QFile::remove(out);
        const HistoryCommands::ConvertOutcome outcome
                = HistoryCommands::convert(s.index, s.values, out);
        if (!outcome.ok)
            state.SkipWithError("conversion failed");
        benchmark::DoNotOptimize(outcome.rows);
    }
    state.counters["rows"] = double(s.rows.size());
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

// The least any converter can do: the same rows, already as text, through the C API.
void BM_ConvertFloor(benchmark::State &state)
{
    const Statistics &s = statistics(int(state.range(0)));
    const std::string out = workDir().filePath(QStringLiteral("floor.hist")).toStdString();
    for (auto _ : state) {
        std::remove(out.c_str());
        sqlite3 *db = nullptr;
        check(sqlite3_open(out.c_str(), &db), db);
        check(sqlite3_exec(db,
                           "CREATE TABLE records_table (time TIMESTAMP PRIMARY KEY NOT NULL, "
                           "value REAL);",
                           nullptr, nullptr, nullptr),
              db);
        check(sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr), db);
        sqlite3_stmt *insert = nullptr;
        check(sqlite3_prepare_v2(db,
                                 "INSERT INTO records_table (time, value) VALUES (:datetime, :value);",
                                 -1, &insert, nullptr),
              db);
        for (const auto &row : s.rows) {
            sqlite3_bind_text(insert, 1, row.first.c_str(), int(row.first.size()), SQLITE_STATIC);
            sqlite3_bind_text(insert, 2, row.second.c_str(), int(row.second.size()), SQLITE_STATIC);
            sqlite3_step(insert);
            sqlite3_reset(insert);
        }
        sqlite3_finalize(insert);
        check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db);
        sqlite3_close(db);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_SelectFloor(benchmark::State &state)
{
    const Statistics &s = statistics(int(state.range(0)));
    const std::string path = s.history.toStdString();
    for (auto _ : state) {
        sqlite3 *db = nullptr;
        check(sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), db);
        sqlite3_stmt *select = nullptr;
        check(sqlite3_prepare_v2(db, "SELECT time, value FROM records_table;", -1, &select,
                                 nullptr),
              db);
        std::vector<std::pair<std::string, float>> rows;
        while (sqlite3_step(select) == SQLITE_ROW) {
            rows.emplace_back(reinterpret_cast<const char *>(sqlite3_column_text(select, 0)),
                              float(sqlite3_column_double(select, 1)));
        }
        sqlite3_finalize(select);
        sqlite3_close(db);
        benchmark::DoNotOptimize(rows.data());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

// The History page's read: the reader's thread puts the rows in time order, the page takes them.
void BM_SQLReader(benchmark::State &state)
{
    const Statistics &s = statistics(int(state.range(0)));
    SQLReader reader(s.history);
    reader.setSortByTime(true);
    for (auto _ : state) {
        if (!reader.readHistory(s.history))
            state.SkipWithError("read failed");
        benchmark::DoNotOptimize(reader.records().size());
    }
    state.counters["rows"] = double(reader.records().size());
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

// Streamed from the database into the file, as the page and varnoctl export.
void BM_CsvExport(benchmark::State &state)
{
    const Statistics &s = statistics(int(state.range(0)));
    const QString out = workDir().filePath(QStringLiteral("export.csv"));
    int lines = 0;
    for (auto _ : state) {
        CsvConverter writer(out, s.history);
        if (!writer.write())
            state.SkipWithError("export failed");
        lines = writer.recordCount();
    }
    state.counters["rows"] = double(lines);
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

// Peak resident memory of one subject in a process of its own, in MiB.
double peakOf(const QStringList &arguments)
{
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(), QStringList { QStringLiteral("--peak") } + arguments);
    if (!child.waitForFinished(600000) || child.exitCode() != 0)
        return -1;
    return child.readAllStandardOutput().trimmed().toDouble() / 1024.0;
}

void BM_PeakConvert(benchmark::State &state)
{
    const Statistics &s = statistics(int(state.range(0)));
    double peak = 0;
    for (auto _ : state)
        peak = peakOf({ QStringLiteral("convert"), s.index, s.values });
    state.counters["peak_MiB"] = peak;
}

void BM_PeakCsvExport(benchmark::State &state)
{
    const Statistics &s = statistics(int(state.range(0)));
    double peak = 0;
    for (auto _ : state)
        peak = peakOf({ QStringLiteral("export"), s.history });
    state.counters["peak_MiB"] = peak;
}

// The whole program's share: the History page with the history loaded and drawn.
void BM_PeakPageLoad(benchmark::State &state)
{
    const Statistics &s = statistics(int(state.range(0)));
    double peak = 0;
    for (auto _ : state)
        peak = peakOf({ QStringLiteral("page"), s.history });
    state.counters["peak_MiB"] = peak;
}

// A process with nothing loaded: what Qt and the program's libraries take by themselves.
void BM_PeakBaseline(benchmark::State &state)
{
    double peak = 0;
    for (auto _ : state)
        peak = peakOf({ QStringLiteral("nothing") });
    state.counters["peak_MiB"] = peak;
}

// The high-water mark of this process's resident memory, in KiB. Not getrusage: its maximum
// survives exec, so the child would report the forked benchmark's pages.
long maxResidentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

int runPeak(int argc, char **argv)
{
    const QString subject = QString::fromLocal8Bit(argv[2]);
    if (subject == QLatin1String("page")) {
        QApplication app(argc, argv);
        HistoryViewWidget page(true);
        page.resize(1024, 700);
        page.show();
        page.openHistory(QString::fromLocal8Bit(argv[3]));
        QElapsedTimer waited;
        waited.start();
        while (page.reader()->isRunning() && waited.elapsed() < 300000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        QCoreApplication::processEvents();
        page.grab();
        std::printf("%ld\n", maxResidentKiB());
        return page.reader()->records().isEmpty() ? 1 : 0;
    }
    QCoreApplication app(argc, argv);
    bool ok = true;
    if (subject == QLatin1String("convert")) {
        const QString out = QDir::temp().filePath(
                QStringLiteral("bench-peak-%1.hist").arg(QCoreApplication::applicationPid()));
        ok = HistoryCommands::convert(QString::fromLocal8Bit(argv[3]),
                                      QString::fromLocal8Bit(argv[4]), out)
                     .ok;
        QFile::remove(out);
    } else if (subject == QLatin1String("export")) {
        const QString out = QDir::temp().filePath(
                QStringLiteral("bench-peak-%1.csv").arg(QCoreApplication::applicationPid()));
        CsvConverter writer(out, QString::fromLocal8Bit(argv[3]));
        ok = writer.write();
        QFile::remove(out);
    }
    std::printf("%ld\n", maxResidentKiB());
    return ok ? 0 : 1;
}

} // namespace

BENCHMARK(BM_Convert)->Arg(1000000)->Arg(4000000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ConvertFloor)->Arg(1000000)->Arg(4000000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_SQLReader)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_SelectFloor)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_CsvExport)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_PeakBaseline)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_PeakConvert)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_PeakCsvExport)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_PeakPageLoad)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(1);

int main(int argc, char **argv)
{
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    if (argc >= 3 && std::strcmp(argv[1], "--peak") == 0)
        return runPeak(argc, argv);
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
