// The first seconds of the program with a simulated monitor, timed. Three measurements:
//
//   bench_firstseconds attach [runs]    (default 10) in this process: the real MainWindow, shown
//       offscreen, and varno-devsim --attach started for each run. From the moment the simulator's
//       link appears in the runtime folder (its link's time stamp) to the first paint of the
//       General tab's firmware label with text in it, then (the Measures tab made current at that
//       moment, as a user would click it) to the first paint of the average display showing a
//       reading other than zero. Medians over the runs.
//   bench_firstseconds startup [runs]   (default 5) program start to the first painted window:
//       this tool started again as a child that runs the program's own start-up
//       (varno::runApplication with the MainWindow) and says when the window's first paint is done.
//       Timed from just before the child is started, so loading the libraries counts.
//   bench_firstseconds idle [seconds]   (default 60) the real varnodevm with one attached
//       simulator: after 10 s to settle, its CPU time (utime + stime) over the given seconds, then
//       its resident memory, with two companions run alongside for comparison: varnodevm with no
//       monitor, and a bare QApplication showing one QWidget. The largest mappings of the program
//       by resident size are listed.
//
// Every child gets a private HOME and runtime folder, so the user's settings and a running program
// are left alone. QT_QPA_PLATFORM defaults to offscreen.

#include "app/mainwindow.h"
#include "app/resources.h"
#include "app/startup.h"
#include "device/attachedsimulators.h"
#include "device/devicemanager.h"
#include "tests/common/devsimprocess.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLCDNumber>
#include <QLabel>
#include <QProcess>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QTreeWidget>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <map>
#include <vector>

namespace {

double realtimeSeconds()
{
    timespec ts {};
    clock_gettime(CLOCK_REALTIME, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

void printSeries(const char *what, const std::vector<double> &values, const char *unit, double scale)
{
    std::printf("%-34s median %8.1f %s   (", what, median(values) * scale, unit);
    for (size_t i = 0; i < values.size(); ++i)
        std::printf("%s%.0f", i ? " " : "", values[i] * scale);
    std::printf(")\n");
}

// A private HOME, configuration and runtime folder for a child.
QProcessEnvironment childEnvironment(const QString &root)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *sub : { "home", "config", "runtime" })
        QDir().mkpath(root + QLatin1Char('/') + QLatin1String(sub));
    QFile::setPermissions(root + QStringLiteral("/runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    env.insert(QStringLiteral("HOME"), root + QStringLiteral("/home"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), root + QStringLiteral("/config"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), root + QStringLiteral("/runtime"));
    env.insert(QStringLiteral("VARNO_SIMULATORS"), QStringLiteral("1"));
    if (!env.contains(QStringLiteral("QT_QPA_PLATFORM")))
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    return env;
}

// ---- attach -------------------------------------------------------------------------------------

// Watches every paint in the application for the two widgets of interest.
class PaintWatch : public QObject
{
public:
    double identityAt = 0;
    double readingAt = 0;
    std::function<void()> onIdentity;
    std::function<void()> onReading;

    bool eventFilter(QObject *object, QEvent *event) override
    {
        if (event->type() != QEvent::Paint)
            return false;
        if (identityAt == 0 && object->objectName() == QLatin1String("currentVersionLabel")) {
            auto *label = qobject_cast<QLabel *>(object);
            if (label && !label->text().isEmpty()) {
                identityAt = realtimeSeconds();
                QTimer::singleShot(0, this, [this] { onIdentity(); });
            }
        } else if (identityAt != 0 && readingAt == 0 && object->objectName() == QLatin1String("averageDisplay")) {
            auto *display = qobject_cast<QLCDNumber *>(object);
            if (display && display->value() != 0) {
                readingAt = realtimeSeconds();
                QTimer::singleShot(0, this, [this] { onReading(); });
            }
        }
        return false;
    }
};

bool waitFor(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        QThread::msleep(1);
    }
    return true;
}

int runAttach(int argc, char **argv, int runs)
{
    QTemporaryDir runtime;
    QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
    qputenv("VARNO_SIMULATORS", "1");
    if (qgetenv("QT_QPA_PLATFORM").isEmpty())
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    varno::setApplicationIdentity();
    varno::initResources();
    varno::applyStyleSheet(app);

    MainWindow window(nullptr);
    window.resize(800, 600);
    window.show();
    PaintWatch watch;
    app.installEventFilter(&watch);
    auto *tree = window.findChild<QTreeWidget *>(QStringLiteral("devicesTreeWidget"));

    std::vector<double> identity;
    std::vector<double> reading;
    for (int run = 0; run < runs; ++run) {
        // Empty labels and displays, the General tab current: what follows is this run's.
        for (QLabel *label : window.findChildren<QLabel *>(QStringLiteral("currentVersionLabel")))
            label->clear();
        for (QLCDNumber *display : window.findChildren<QLCDNumber *>(QStringLiteral("averageDisplay")))
            display->display(0);
        for (QTabWidget *tabs : window.findChildren<QTabWidget *>(QStringLiteral("deviceTabWidget")))
            tabs->setCurrentIndex(0);
        watch.identityAt = 0;
        watch.readingAt = 0;
        bool identityShown = false;
        bool readingShown = false;
        watch.onIdentity = [&] {
            identityShown = true;
            for (QTabWidget *tabs : window.findChildren<QTabWidget *>(QStringLiteral("deviceTabWidget")))
                if (QWidget *measures = tabs->findChild<QWidget *>(QStringLiteral("measuresTab")))
                    tabs->setCurrentWidget(measures);
        };
        watch.onReading = [&] { readingShown = true; };

        QProcess sim;
        sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        sim.start(QStringLiteral(VARNO_DEVSIM_PATH), { QStringLiteral("--attach") });
        if (!sim.waitForStarted(20000))
            qFatal("varno-devsim did not start");
        const QString link = varno::attachedDevicesDir() + QLatin1Char('/') + varno::attachedDeviceLinkName(sim.processId());
        if (!waitFor([&] { return readingShown; }, 60000))
            std::fprintf(stderr, "run %d: no %s within 60 s\n", run + 1, identityShown ? "reading" : "identity");
        struct stat st {};
        if (lstat(QFile::encodeName(link).constData(), &st) != 0)
            qFatal("the simulator's link is gone");
        const double appeared = double(st.st_mtim.tv_sec) + double(st.st_mtim.tv_nsec) / 1e9;
        if (identityShown)
            identity.push_back(watch.identityAt - appeared);
        if (readingShown)
            reading.push_back(watch.readingAt - appeared);
        std::fprintf(stderr, "run %d: identity %.0f ms, reading %.0f ms\n", run + 1,
                     (watch.identityAt - appeared) * 1000, (watch.readingAt - appeared) * 1000);
        stopProcess(sim);
        if (!waitFor([&] { return DeviceManager::instance()->deviceCount() == 0 && tree->topLevelItemCount() == 0; }, 20000))
            qFatal("the simulator's removal was not noticed");
    }
    printSeries("appeared -> identity painted", identity, "ms", 1000);
    printSeries("appeared -> first reading painted", reading, "ms", 1000);
    std::printf("targets: identity 1000 ms (%.2fx of target), reading 1500 ms (%.2fx of target)\n",
                median(identity) / 1.0, median(reading) / 1.5);
    return 0;
}

// ---- startup ------------------------------------------------------------------------------------

// Child: the program's own start-up; once the window's first paint is through, says so and ends.
class FirstPaint : public QObject
{
public:
    explicit FirstPaint(QElapsedTimer since) : m_since(since) {}
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && !m_seen) {
            m_seen = true;
            // The rest of this paint pass (the children) runs before a queued call.
            QTimer::singleShot(0, this, [this] {
                std::printf("painted %.1f\n", double(m_since.nsecsElapsed()) / 1e6);
                std::fflush(stdout);
                QCoreApplication::quit();
            });
        }
        return false;
    }

private:
    QElapsedTimer m_since;
    bool m_seen = false;
};

int startupChild(int argc, char **argv)
{
    QElapsedTimer since;
    since.start();
    return varno::runApplication(argc, argv, [since]() -> QWidget * {
        auto *window = new MainWindow(nullptr);
        window->installEventFilter(new FirstPaint(since));
        return window;
    });
}

int runStartup(const QString &self, int runs)
{
    std::vector<double> total;
    std::vector<double> inMain;
    for (int run = 0; run < runs; ++run) {
        QTemporaryDir root;
        QProcess child;
        child.setProcessEnvironment(childEnvironment(root.path()));
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QElapsedTimer timer;
        timer.start();
        child.start(self, { QStringLiteral("startup-child") });
        QByteArray line;
        while (!line.startsWith("painted") && child.waitForReadyRead(60000))
            line = child.readLine().trimmed();
        const double elapsed = double(timer.nsecsElapsed()) / 1e9;
        if (!line.startsWith("painted"))
            qFatal("the child did not paint");
        total.push_back(elapsed);
        inMain.push_back(line.mid(8).toDouble() / 1000);
        child.waitForFinished(20000);
    }
    printSeries("start -> first window painted", total, "ms", 1000);
    printSeries("  of which from main()", inMain, "ms", 1000);
    return 0;
}

// ---- idle ---------------------------------------------------------------------------------------

int bareChild(int argc, char **argv)
{
    QApplication app(argc, argv);
    QWidget widget;
    widget.resize(800, 600);
    widget.show();
    return app.exec();
}

struct CpuSample {
    double ticks = 0;
    double at = 0;
};

CpuSample cpuOf(qint64 pid)
{
    QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
    CpuSample sample;
    if (!file.open(QIODevice::ReadOnly))
        return sample;
    const QByteArray text = file.readAll();
    // Fields after the command's closing parenthesis: state is field 3, utime 14, stime 15.
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    sample.ticks = fields.value(11).toDouble() + fields.value(12).toDouble();
    timespec ts {};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    sample.at = double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
    return sample;
}

std::map<QByteArray, long> statusOf(qint64 pid)
{
    std::map<QByteArray, long> kib;
    QFile file(QStringLiteral("/proc/%1/status").arg(pid));
    if (file.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : file.readAll().split('\n')) {
            const int colon = line.indexOf(':');
            if (colon > 0 && line.endsWith("kB"))
                kib[line.left(colon)] = line.mid(colon + 1).trimmed().split(' ').value(0).toLong();
        }
    }
    return kib;
}

// Resident KiB by mapped file (anonymous mappings by their kind), largest first.
void printLargestMappings(qint64 pid, int count)
{
    QFile file(QStringLiteral("/proc/%1/smaps").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return;
    std::map<QByteArray, long> rss;
    QByteArray current;
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (line.isEmpty())
            continue;
        const QByteArray first = line.left(line.indexOf(' '));
        if (!first.endsWith(':')) {
            // A mapping's header: range, permissions, offset, device, inode, then the file if any.
            const QList<QByteArray> parts = line.simplified().split(' ');
            current = parts.size() >= 6 ? parts.mid(5).join(' ') : QByteArray("[anonymous]");
            continue;
        }
        if (line.startsWith("Rss:"))
            rss[current] += line.mid(4).trimmed().split(' ').value(0).toLong();
    }
    std::vector<std::pair<long, QByteArray>> sorted;
    for (const auto &entry : rss)
        sorted.emplace_back(entry.second, entry.first);
    std::sort(sorted.rbegin(), sorted.rend());
    for (int i = 0; i < count && i < int(sorted.size()); ++i)
        std::printf("    %7.1f MiB  %s\n", double(sorted[i].first) / 1024, sorted[i].second.constData());
}

int runIdle(const QString &self, int seconds)
{
    QTemporaryDir withMonitor;
    QTemporaryDir withoutMonitor;
    QTemporaryDir bareRoot;
    const QProcessEnvironment env = childEnvironment(withMonitor.path());
    QProcess program;
    program.setProcessEnvironment(env);
    program.setStandardErrorFile(QProcess::nullDevice());
    program.start(QStringLiteral(VARNO_PROGRAM_PATH), {});
    QProcess alone;
    alone.setProcessEnvironment(childEnvironment(withoutMonitor.path()));
    alone.setStandardErrorFile(QProcess::nullDevice());
    alone.start(QStringLiteral(VARNO_PROGRAM_PATH), {});
    QProcess bare;
    bare.setProcessEnvironment(childEnvironment(bareRoot.path()));
    bare.start(self, { QStringLiteral("bare-child") });
    QProcess sim;
    sim.setProcessEnvironment(env);
    sim.setStandardOutputFile(QProcess::nullDevice());
    sim.start(QStringLiteral(VARNO_DEVSIM_PATH), { QStringLiteral("--attach") });
    if (!program.waitForStarted(20000) || !alone.waitForStarted(20000) || !bare.waitForStarted(20000)
        || !sim.waitForStarted(20000))
        qFatal("a child did not start");

    QThread::sleep(10);
    const CpuSample before = cpuOf(program.processId());
    const CpuSample aloneBefore = cpuOf(alone.processId());
    QThread::sleep(seconds);
    const CpuSample after = cpuOf(program.processId());
    const CpuSample aloneAfter = cpuOf(alone.processId());
    const double tick = double(sysconf(_SC_CLK_TCK));
    const double share = (after.ticks - before.ticks) / tick / (after.at - before.at);
    const double aloneShare = (aloneAfter.ticks - aloneBefore.ticks) / tick / (aloneAfter.at - aloneBefore.at);
    std::printf("idle CPU over %.1f s, one monitor:   %.2f %% of a core (%.2fx of the 0.5 %% target)\n",
                after.at - before.at, share * 100, share * 100 / 0.5);
    std::printf("idle CPU, no monitor:              %.2f %% of a core\n", aloneShare * 100);

    const std::pair<const char *, qint64> subjects[] = {
        { "varnodevm, one monitor", program.processId() },
        { "varnodevm, no monitor", alone.processId() },
        { "bare QApplication + QWidget", bare.processId() },
    };
    std::printf("%-30s %8s %8s %8s %8s %8s   (MiB)\n", "resident memory", "VmRSS", "VmHWM", "RssAnon", "RssFile", "RssShmem");
    for (const auto &subject : subjects) {
        std::map<QByteArray, long> kib = statusOf(subject.second);
        std::printf("%-30s %8.1f %8.1f %8.1f %8.1f %8.1f\n", subject.first, kib["VmRSS"] / 1024.0, kib["VmHWM"] / 1024.0,
                    kib["RssAnon"] / 1024.0, kib["RssFile"] / 1024.0, kib["RssShmem"] / 1024.0);
    }
    std::printf("target 70 MiB: one monitor at %.2fx\n", statusOf(program.processId())["VmRSS"] / 1024.0 / 70);
    std::printf("largest mappings of varnodevm with one monitor:\n");
    printLargestMappings(program.processId(), 14);

    stopProcess(sim);
    stopProcess(program);
    stopProcess(alone);
    stopProcess(bare);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    const QByteArray mode = argc > 1 ? QByteArray(argv[1]) : QByteArray("attach");
    const int count = argc > 2 ? std::atoi(argv[2]) : 0;
    if (mode == "startup-child")
        return startupChild(argc, argv);
    if (mode == "bare-child")
        return bareChild(argc, argv);
    if (mode == "attach")
        return runAttach(argc, argv, count > 0 ? count : 10);
    QCoreApplication app(argc, argv);
    const QString self = QCoreApplication::applicationFilePath();
    if (mode == "startup")
        return runStartup(self, count > 0 ? count : 5);
    if (mode == "idle")
        return runIdle(self, count > 0 ? count : 60);
    std::fprintf(stderr, "usage: bench_firstseconds [attach [runs] | startup [runs] | idle [seconds]]\n");
    return 2;
}
