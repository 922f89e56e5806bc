// varnoctl history end to end: statistics from the simulator or from files, into a history and
// out as CSV, and removal from the monitor.

#include "history/historyformat.h"
#include "tests/common/devsimprocess.h"
#include "tests/history/historytestutil.h"
#include "tests/history/statisticsfixture.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// 2016-03-14 09:00:00 in seconds since the device's time base.
constexpr quint32 kFirstStart = 132570000;

struct CtlRun
{
    int exitCode = -1;
    QString out;
    QString err;
};

// varnoctl under a limit on the size of any file it writes: a write past it fails with EFBIG, as
// one onto a full disk fails with ENOSPC.
// With killedAtLimit the system kills it there instead (SIGXFSZ), as a run killed mid-way.
class LimitedProcess : public QProcess
{
public:
    rlim_t fileSizeLimit = 0;
    bool killedAtLimit = false;

protected:
    void setupChildProcess() override
    {
        if (fileSizeLimit == 0)
            return;
        // The disposition is kept across exec.
        ::signal(SIGXFSZ, killedAtLimit ? SIG_DFL : SIG_IGN);
        const rlimit noCore { 0, 0 };
        ::setrlimit(RLIMIT_CORE, &noCore);
        const rlimit limit { fileSizeLimit, fileSizeLimit };
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
};

// A folder made small (a tmpfs of a few pages) or read-only for one test, back to normal after.
class LocalFolder
{
public:
    explicit LocalFolder(const QString &path)
        : m_path(QFile::encodeName(path))
    {
    }
    ~LocalFolder()
    {
        if (m_mounted)
            ::umount2(m_path.constData(), MNT_DETACH);
        if (m_mode)
            ::chmod(m_path.constData(), m_mode);
    }
    bool mountTmpfs(unsigned long flags, const char *options)
    {
        m_mounted = ::mount("tmpfs", m_path.constData(), "tmpfs", flags, options) == 0;
        return m_mounted;
    }
    bool makeUnwritable()
    {
        struct stat info;
        if (::stat(m_path.constData(), &info) != 0 || ::chmod(m_path.constData(), 0555) != 0)
            return false;
        m_mode = info.st_mode & 07777;
        return true;
    }

private:
    QByteArray m_path;
    bool m_mounted = false;
    mode_t m_mode = 0;
};

} // namespace

class TestVarnoctlHistory : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void convert_data();
    void convert();
    void exportCsv_data();
    void exportCsv();
    void exportToFullDisk();
    void conversionStopped_data();
    void conversionStopped();
    void repeatedHourReported();
    void pull();
    void remove_data();
    void remove();
    void pullErase_data();
    void pullErase();
    void info_data();
    void info();
    void journal();

private:
    CtlRun run(const QStringList &arguments, const QByteArray &input = QByteArray(),
               rlim_t fileSizeLimit = 0, bool killedAtLimit = false);
    QString expectedRows() const;
    QStringList deviceFiles(const QString &port);

    QTemporaryDir m_work;
    QTemporaryDir m_home;
    QString m_index;
    QString m_values;
    QString m_history;
};

CtlRun TestVarnoctlHistory::run(const QStringList &arguments, const QByteArray &input,
                                rlim_t fileSizeLimit, bool killedAtLimit)
{
    LimitedProcess process;
    process.fileSizeLimit = fileSizeLimit;
    process.killedAtLimit = killedAtLimit;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), m_home.path());
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(VARNO_CTL_PATH), arguments);
    process.write(input);
    process.closeWriteChannel();
    CtlRun result;
    if (!process.waitForFinished(30000)) {
        process.kill();
        process.waitForFinished();
        return result;
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    result.err = QString::fromLocal8Bit(process.readAllStandardError());
    return result;
}

void TestVarnoctlHistory::initTestCase()
{
    // Two blocks: three values from 09:00:00, two from 09:01:40.
    m_index = m_work.filePath(QStringLiteral("index.bin"));
    m_values = m_work.filePath(QStringLiteral("values.bin"));
    QVERIFY(StatisticsFixture::writeFile(
        m_index,
        StatisticsFixture::contiguousIndex({ { kFirstStart, 3 }, { kFirstStart + 100, 2 } })));
    QVERIFY(StatisticsFixture::writeFile(
        m_values, StatisticsFixture::words({ 0x0405, 0x0817, 0x03FF, 7, 0x0801 })));
    m_history = m_work.filePath(QStringLiteral("known.hist"));
    const CtlRun made = run({ "history", "convert", m_index, m_values, "--out", m_history });
    QVERIFY2(made.exitCode == 0, qPrintable(made.err));
}

QString TestVarnoctlHistory::expectedRows() const
{
    const auto row = [](quint32 seconds, const char *value) {
        return HistoryFormat::formatRecordTime(HistoryFormat::timeFromSeconds(seconds))
            + QLatin1Char('=') + QLatin1String(value);
    };
    return QStringList({ row(kFirstStart, "0.5"), row(kFirstStart + 10, "0.23"),
                         row(kFirstStart + 20, "1023"), row(kFirstStart + 100, "7"),
                         row(kFirstStart + 110, "0.01") })
        .join(QLatin1Char(' '));
}

QStringList TestVarnoctlHistory::deviceFiles(const QString &port)
{
    const CtlRun files = run({ "--port", port, "files" });
    QStringList names;
    const QStringList lines = files.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const QString &line : lines)
        names << line.section(QLatin1Char(' '), 0, 0);
    return names;
}

void TestVarnoctlHistory::convert_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<bool>("written");

    QTest::newRow("to a named file")
        << QStringList { "@index", "@values", "--out", "@out" } << 0 << true;
    QTest::newRow("into the program's folder") << QStringList { "@index", "@values" } << 0 << true;
    QTest::newRow("existing output kept")
        << QStringList { "@index", "@values", "--out", "@history" } << 5 << false;
    QTest::newRow("missing index")
        << QStringList { "@missing", "@values", "--out", "@out" } << 5 << false;
    QTest::newRow("empty index") << QStringList { "@empty", "@values", "--out", "@out" } << 5
                                 << false;
    QTest::newRow("one file only") << QStringList { "@index" } << 2 << false;
}

void TestVarnoctlHistory::convert()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(bool, written);
    const QString out = m_work.filePath(QStringLiteral("converted.hist"));
    QFile::remove(out);
    const QString empty = m_work.filePath(QStringLiteral("empty.bin"));
    QVERIFY(StatisticsFixture::writeFile(empty, QByteArray()));
    const QString programFolder = m_home.filePath(QStringLiteral("VARNO Device Manager"));
    QDir(programFolder).removeRecursively();
    const QByteArray before
        = QFile::exists(m_history) ? QByteArray::number(QFileInfo(m_history).size()) : "";

    for (QString &argument : arguments) {
        if (argument == QLatin1String("@index"))
            argument = m_index;
        else if (argument == QLatin1String("@values"))
            argument = m_values;
        else if (argument == QLatin1String("@out"))
            argument = out;
        else if (argument == QLatin1String("@history"))
            argument = m_history;
        else if (argument == QLatin1String("@missing"))
            argument = m_work.filePath(QStringLiteral("nothing.bin"));
        else if (argument == QLatin1String("@empty"))
            argument = empty;
    }
    const CtlRun result = run(QStringList { "--json", "history", "convert" } + arguments);
    QVERIFY2(result.exitCode == exitCode, qPrintable(result.out + result.err));
    const QJsonObject json = QJsonDocument::fromJson(result.out.toUtf8()).object();
    QCOMPARE(json.value(QStringLiteral("ok")).toBool(), exitCode == 0);
    QCOMPARE(QByteArray::number(QFileInfo(m_history).size()), before);
    if (!written) {
        QVERIFY(!QFile::exists(out));
        return;
    }
    const QString database = json.value(QStringLiteral("database")).toString();
    QCOMPARE(json.value(QStringLiteral("rows")).toInt(), 5);
    if (arguments.contains(QStringLiteral("--out")))
        QCOMPARE(database, out);
    else
        QCOMPARE(QFileInfo(database).absolutePath(), QFileInfo(programFolder).absoluteFilePath());
    QCOMPARE(HistoryTestUtil::databaseRows(database), expectedRows());
}

void TestVarnoctlHistory::exportCsv_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<int>("records");

    QTest::newRow("everything") << QStringList() << 0 << 5;
    QTest::newRow("from") << QStringList { "--from", "@t10" } << 0 << 4;
    QTest::newRow("to") << QStringList { "--to", "@t20" } << 0 << 3;
    QTest::newRow("from and to") << QStringList { "--from", "@t10", "--to", "@t100" } << 0 << 3;
    QTest::newRow("where, value apart") << QStringList { "--where", ">", "0.4" } << 0 << 3;
    QTest::newRow("where, one word") << QStringList { "--where", "<=0.23" } << 0 << 2;
    QTest::newRow("where and range")
        << QStringList { "--from", "@t10", "--where", "=", "7" } << 0 << 1;
    QTest::newRow("bad operator") << QStringList { "--where", "~", "1" } << 2 << -1;
    QTest::newRow("bad value") << QStringList { "--where", ">", "x" } << 2 << -1;
    QTest::newRow("bad time") << QStringList { "--from", "yesterday" } << 2 << -1;
}

void TestVarnoctlHistory::exportCsv()
{
    QFETCH(QStringList, options);
    QFETCH(int, exitCode);
    QFETCH(int, records);
    for (QString &option : options) {
        if (option.startsWith(QLatin1String("@t"))) {
            option = HistoryFormat::formatRecordTime(
                HistoryFormat::timeFromSeconds(kFirstStart + option.mid(2).toInt()));
        }
    }
    const QString csv = m_work.filePath(QStringLiteral("out"));
    QFile::remove(csv + QStringLiteral(".csv"));
    const CtlRun result
        = run(QStringList { "history", "export", m_history, "--out", csv } + options);
    QVERIFY2(result.exitCode == exitCode, qPrintable(result.out + result.err));
    if (exitCode != 0) {
        QVERIFY(!QFile::exists(csv + QStringLiteral(".csv")));
        return;
    }
    QFile file(csv + QStringLiteral(".csv"));
    QVERIFY2(file.open(QIODevice::ReadOnly | QIODevice::Text), "\".csv\" is appended to the name");
    const QStringList lines
        = QString::fromLocal8Bit(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.value(0), QStringLiteral("Date; Time; Value"));
    QCOMPARE(lines.size() - 1, records);
    QVERIFY2(result.out.contains(QStringLiteral("Exported %1 records").arg(records)),
             qPrintable(result.out));
}

void TestVarnoctlHistory::exportToFullDisk()
{
    if (!QFileInfo::exists(QStringLiteral("/dev/full")))
        QSKIP("no /dev/full here");
    const CtlRun result = run({ "history", "export", m_history, "--out", "/dev/full" });
    QCOMPARE(result.exitCode, 5);
    QVERIFY2(result.err.contains(QStringLiteral("/dev/full")), qPrintable(result.err));
}

// A conversion stopped by the system while it wrote: refused, it says what and why and removes
// its temporary; killed, it leaves the temporary, which the next conversion into the folder
// removes, but not one that a running conversion holds.
void TestVarnoctlHistory::conversionStopped_data()
{
    QTest::addColumn<bool>("killed");
    QTest::newRow("write refused") << false;
    QTest::newRow("killed") << true;
}

void TestVarnoctlHistory::conversionStopped()
{
    QFETCH(bool, killed);
    QTemporaryDir out;
    const QString history = out.filePath(QStringLiteral("stopped.hist"));
    // SQLite's second page goes past 4 KiB.
    const CtlRun stopped = run({ "history", "convert", m_index, m_values, "--out", history }, QByteArray(), 4096, killed);
    const QStringList partial { QStringLiteral("*.partial-*") };
    const QStringList left = QDir(out.path()).entryList(partial, QDir::Files);
    if (killed) {
        QCOMPARE(stopped.exitCode, -1);
        QCOMPARE(left.size(), 1);
        QVERIFY2(left.first().startsWith(QLatin1String("stopped.hist.partial-")), qPrintable(left.first()));
    } else {
        QCOMPARE(stopped.exitCode, 5);
        QVERIFY2(stopped.err.contains(QStringLiteral("of the history database %1: disk I/O error\n").arg(history)),
                 qPrintable(stopped.err));
        QCOMPARE(left, QStringList());
    }

    QFile held(out.filePath(QStringLiteral("other.hist.partial-Ab12Cd")));
    QVERIFY(held.open(QIODevice::WriteOnly));
    QVERIFY(::flock(held.handle(), LOCK_EX | LOCK_NB) == 0);

    const CtlRun again = run({ "history", "convert", m_index, m_values, "--out", history });
    QVERIFY2(again.exitCode == 0, qPrintable(again.err));
    QCOMPARE(HistoryTestUtil::databaseRows(history), expectedRows());
    QCOMPARE(QDir(out.path()).entryList(partial, QDir::Files), QStringList({ "other.hist.partial-Ab12Cd" }));
}

void TestVarnoctlHistory::repeatedHourReported()
{
    // Berlin: 02:30 happens twice on 28 October 2012; the device counts from 2012-01-01 00:00 CET.
    const QDateTime base(QDate(2011, 12, 31), QTime(23, 0), Qt::UTC);
    const quint32 first = quint32(base.secsTo(QDateTime(QDate(2012, 10, 28), QTime(0, 30), Qt::UTC)));
    const QString index = m_work.filePath(QStringLiteral("autumn.bin"));
    QVERIFY(StatisticsFixture::writeFile(index, StatisticsFixture::valueRecord(first, 0)
                                                 + StatisticsFixture::valueRecord(first + 3600, 2)));
    const QString out = m_work.filePath(QStringLiteral("autumn.hist"));
    QFile::remove(out);
    const bool hadZone = qEnvironmentVariableIsSet("TZ");
    const QByteArray zone = qgetenv("TZ");
    qputenv("TZ", "Europe/Berlin");
    const CtlRun result = run({ "history", "convert", index, m_values, "--out", out });
    if (hadZone)
        qputenv("TZ", zone);
    else
        qunsetenv("TZ");
    QVERIFY2(result.exitCode == 0, qPrintable(result.err));
    QVERIFY2(result.out.contains(QStringLiteral(
                     "1 readings in the repeated hour at the change from summer time were not stored")),
             qPrintable(result.out));
}

void TestVarnoctlHistory::pull()
{
    DevSimProcess sim;
    QVERIFY(sim.start(
        { QStringLiteral("--meastime"), m_index, QStringLiteral("--measure"), m_values }));
    const QString out = m_work.filePath(QStringLiteral("pulled.hist"));
    QFile::remove(out);
    CtlRun result = run({ "--port", sim.path(), "history", "pull", "--out", out });
    QVERIFY2(result.exitCode == 0, qPrintable(result.out + result.err));
    QCOMPARE(HistoryTestUtil::databaseRows(out), expectedRows());
    // The statistics stay on the monitor.
    QVERIFY(deviceFiles(sim.path()).contains(QStringLiteral("MEASTIME.DAT")));

    // Without statistics on the monitor there is nothing to convert.
    DevSimProcess bare;
    QVERIFY(bare.start({ QStringLiteral("--no-files") }));
    result = run({ "--port", bare.path(), "history", "pull" });
    QCOMPARE(result.exitCode, 5);
    QVERIFY2(result.err.contains(QStringLiteral("MEASTIME.DAT")), qPrintable(result.err));
}

void TestVarnoctlHistory::remove_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<bool>("removed");
    QTest::newRow("--yes") << QStringList { "--yes" } << QByteArray() << true;
    QTest::newRow("answered y") << QStringList() << QByteArray("y\n") << true;
    QTest::newRow("answered no") << QStringList() << QByteArray("no\n") << false;
    QTest::newRow("no answer") << QStringList() << QByteArray() << false;
}

void TestVarnoctlHistory::remove()
{
    QFETCH(QStringList, options);
    QFETCH(QByteArray, answer);
    QFETCH(bool, removed);
    DevSimProcess sim;
    QVERIFY(sim.start());
    const CtlRun result
        = run(QStringList { "--port", sim.path(), "history", "rm" } + options, answer);
    QVERIFY2(result.exitCode == (removed ? 0 : 5), qPrintable(result.out + result.err));
    const QStringList files = deviceFiles(sim.path());
    QCOMPARE(files.contains(QStringLiteral("MEASTIME.DAT")), !removed);
    QVERIFY(files.contains(QStringLiteral("MEASURE.DAT")));
}

void TestVarnoctlHistory::pullErase_data()
{
    QTest::addColumn<QStringList>("faults");
    QTest::addColumn<QString>("local"); // what is wrong with the history's folder
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("reason");
    QTest::newRow("verified download") << QStringList() << "" << 0 << "";
    // Identity, calibration, list, time index: the link breaks on the values.
    QTest::newRow("link lost part-way") << QStringList { "--abort-after", "5" } << "" << 4 << "";
    QTest::newRow("values reply cut short") << QStringList { "--wrong-length", "0x41" } << "" << 5 << "";
    // The time index fits, the values do not: the local reason, not the device, is named.
    QTest::newRow("disk full") << QStringList() << "tmpfs" << 5 << "No space left on device";
    QTest::newRow("file size limit") << QStringList() << "fsize" << 5 << "File too large";
    QTest::newRow("read-only folder") << QStringList() << "read-only" << 5
                                      << (::geteuid() == 0 ? "Read-only file system" : "Permission denied");
}

void TestVarnoctlHistory::pullErase()
{
    QFETCH(QStringList, faults);
    QFETCH(QString, local);
    QFETCH(int, exitCode);
    QFETCH(QString, reason);
    QString values = m_values;
    if (!local.isEmpty()) {
        // Larger than the small folder holds: 24 000 bytes.
        values = m_work.filePath(QStringLiteral("many-values.bin"));
        QVERIFY(StatisticsFixture::writeFile(values, StatisticsFixture::words(QVector<quint16>(12000, 0x0405))));
    }
    QTemporaryDir dump;
    DevSimProcess sim;
    QVERIFY(sim.start(QStringList { "--meastime", m_index, "--measure", values, "--dump", dump.path() }
                      + faults));
    QTemporaryDir out;
    LocalFolder folder(out.path());
    if (local == QLatin1String("tmpfs") || (local == QLatin1String("read-only") && ::geteuid() == 0)) {
        // Root ignores permission bits: a read-only mount is what stops it.
        if (::geteuid() != 0)
            QSKIP("a small tmpfs needs root (CI runs as root); the file size limit row covers the rest");
        const bool readOnly = local == QLatin1String("read-only");
        if (!folder.mountTmpfs(readOnly ? MS_RDONLY : 0, "size=16k"))
            QSKIP("tmpfs cannot be mounted here");
    } else if (local == QLatin1String("read-only")) {
        QVERIFY(folder.makeUnwritable());
    }
    const QString history = out.filePath(QStringLiteral("pulled.hist"));
    const CtlRun result = run({ "--port", sim.path(), "--json", "history", "pull", "--erase", "--out", history },
                              QByteArray(), local == QLatin1String("fsize") ? 8192 : 0);
    sim.stop();
    QVERIFY2(result.exitCode == exitCode, qPrintable(result.out + result.err));
    QFile listing(dump.filePath(QStringLiteral("filesystem.lst")));
    QVERIFY(listing.open(QIODevice::ReadOnly));
    const QByteArray files = listing.readAll();
    QCOMPARE(files.contains("MEASTIME.DAT"), exitCode != 0);
    QVERIFY(files.contains("MEASURE.DAT"));
    if (exitCode != 0) {
        QVERIFY2(result.err.contains(QStringLiteral("nothing removed")), qPrintable(result.err));
        QVERIFY(!QFile::exists(history));
        // What failed and where, in the system's words.
        QVERIFY2(result.err.contains(reason), qPrintable(result.err));
        if (!local.isEmpty())
            QVERIFY2(result.err.contains(QDir::toNativeSeparators(out.path())), qPrintable(result.err));
        if (local == QLatin1String("tmpfs") || local == QLatin1String("fsize"))
            QVERIFY2(result.err.contains(QStringLiteral("MEASURE.DAT")), qPrintable(result.err));
        // Nothing that arrived looks like a finished download.
        const QStringList folders = QDir(out.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        for (const QString &name : folders) {
            QVERIFY2(name.endsWith(QLatin1String("-incomplete")), qPrintable(name));
            QVERIFY(QFileInfo::exists(QDir(out.filePath(name)).filePath(QStringLiteral("INCOMPLETE.txt"))));
        }
        return;
    }
    const QJsonObject json = QJsonDocument::fromJson(result.out.toUtf8()).object();
    QVERIFY(json.value(QStringLiteral("erased")).toBool());
    // The raw files beside the history, as the provenance describes them.
    const QDir raw(json.value(QStringLiteral("rawFolder")).toString());
    QCOMPARE(QFileInfo(raw.absolutePath()).absolutePath(), QDir(out.path()).absolutePath());
    QFile index(m_index);
    QVERIFY(index.open(QIODevice::ReadOnly));
    const QByteArray indexBytes = index.readAll();
    QFile saved(raw.filePath(QStringLiteral("MEASTIME.DAT")));
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QCOMPARE(saved.readAll(), indexBytes);
    const CtlRun info = run({ "--json", "history", "info", history });
    QVERIFY2(info.exitCode == 0, qPrintable(info.err));
    const QJsonObject provenance
        = QJsonDocument::fromJson(info.out.toUtf8()).object().value(QStringLiteral("provenance")).toObject();
    const QStringList expected { "serial=SN-000123", "calibration=1.00", "records_read=5", "records_written=5",
        "records_superseded=0", "records_repeated_hour=0",
        QStringLiteral("meastime_size=%1").arg(indexBytes.size()),
        QStringLiteral("meastime_sha256=%1").arg(QString::fromLatin1(
            QCryptographicHash::hash(indexBytes, QCryptographicHash::Sha256).toHex())),
        QStringLiteral("raw_folder=%1").arg(raw.dirName()) };
    for (const QString &pair : expected) {
        const QString key = pair.section(QLatin1Char('='), 0, 0);
        QCOMPARE(key + QLatin1Char('=') + provenance.value(key).toString(), pair);
    }
    // The history reads as before the table was added.
    QCOMPARE(HistoryTestUtil::databaseRows(history), expectedRows());
}

void TestVarnoctlHistory::info_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("text");
    QTest::newRow("history without provenance") << "@history" << 0 << "written without provenance";
    // What we did, then SQLite's reason, with nothing of Qt's glued on.
    QTest::newRow("not a history") << "@index" << 5 << ": file is not a database\n";
    QTest::newRow("missing") << "@missing" << 5 << "no such file";
}

void TestVarnoctlHistory::info()
{
    QFETCH(QString, file);
    QFETCH(int, exitCode);
    QFETCH(QString, text);
    const QString path = file == QLatin1String("@history") ? m_history
        : file == QLatin1String("@index")                  ? m_index
                                                           : m_work.filePath(QStringLiteral("none.hist"));
    const CtlRun result = run({ "history", "info", path });
    QVERIFY2(result.exitCode == exitCode, qPrintable(result.out + result.err));
    QVERIFY2((result.out + result.err).contains(text), qPrintable(result.out + result.err));
    QVERIFY(!QFile::exists(m_work.filePath(QStringLiteral("none.hist"))));
    // An old history still opens and exports.
    if (exitCode == 0)
        QCOMPARE(HistoryTestUtil::databaseRows(path), expectedRows());
}

void TestVarnoctlHistory::journal()
{
    QFile::remove(m_home.filePath(QStringLiteral("VARNO Device Manager/journal.jsonl")));
    DevSimProcess sim;
    QVERIFY(sim.start({ "--calibration", "98" }));
    CtlRun result = run({ "--port", sim.path(), "--password", "1234", "calibration", "set", "1.05" });
    QVERIFY2(result.exitCode == 0, qPrintable(result.err));
    result = run({ "--port", sim.path(), "--password", "wrong", "dose", "reset" });
    QCOMPARE(result.exitCode, 1);

    result = run({ "--json", "journal" });
    QVERIFY2(result.exitCode == 0, qPrintable(result.err));
    const QJsonArray entries
        = QJsonDocument::fromJson(result.out.toUtf8()).object().value(QStringLiteral("entries")).toArray();
    QStringList seen;
    for (const QJsonValue &value : entries) {
        const QJsonObject e = value.toObject();
        seen << QStringLiteral("%1 %2 %3->%4 %5")
                    .arg(e.value(QStringLiteral("serial")).toString(), e.value(QStringLiteral("what")).toString())
                    .arg(e.value(QStringLiteral("old")).toDouble())
                    .arg(e.value(QStringLiteral("new")).toDouble())
                    .arg(e.value(QStringLiteral("result")).toString());
    }
    QCOMPARE(seen, QStringList({ "SN-000123 calibration 0.98->1.05 accepted",
                                 "SN-000123 dose reset 1000->0 refused" }));
    result = run({ "journal", "--serial", "SN-000123" });
    QCOMPARE(result.out.count(QLatin1Char('\n')), 2);
    result = run({ "journal", "--serial", "SN-999" });
    QVERIFY2(result.out.contains(QStringLiteral("no changes")), qPrintable(result.out));
}

QTEST_GUILESS_MAIN(TestVarnoctlHistory)
#include "tst_varnoctlhistory.moc"
