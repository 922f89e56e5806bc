// How long the GUI thread is held while a large history is converted, loaded and drawn by the
// History page: a 10 ms timer on the GUI thread notes how late it fires; the worst lateness of
// each step is what a user would feel as a stall. An idle stretch first gives the machine's own
// scheduling delay as the floor. On a loaded machine lateness also counts the time the GUI
// thread waited for a core, so the GUI thread's own CPU time between two ticks is reported too:
// that is the work that held the event loop. The chain begins with the download of the same
// statistics from the simulator (listing, reading both files over the pty, converting).
//
//   bench_historylatency [values]        (default 4 000 000 values, offscreen)

#include "charts/framehystogram.h"
#include "device/device.h"
#include "charts/hystogramtimeline.h"
#include "history/historyconverter.h"
#include "history/historydownload.h"
#include "history/ui/historyviewwidget.h"
#include "history/sqlreader.h"
#include "tests/common/devsimprocess.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <QWheelEvent>

#include <cstdio>
#include <ctime>
#include <functional>

namespace {

void appendBigEndian(QByteArray &out, quint32 value, int bytes)
{
    for (int i = bytes - 1; i >= 0; --i)
        out.append(char((value >> (8 * i)) & 0xFF));
}

// `total` values in blocks of a thousand, every tenth block starting halfway into its predecessor.
void writeStatistics(int total, const QString &indexPath, const QString &valuePath)
{
    QByteArray index;
    QByteArray values;
    quint32 start = 0;
    for (int b = 0; b < total / 1000; ++b) {
        if (b > 0)
            start += (b % 10 == 5 ? 500 : 1000) * 10;
        index.append(char(0x80));
        appendBigEndian(index, start, 4);
        appendBigEndian(index, quint32(values.size()), 4);
        for (int i = 0; i < 1000; ++i)
            appendBigEndian(values, quint32(((b + i) % 3) << 10 | ((b * 7 + i) % 1024)), 2);
    }
    QFile indexFile(indexPath);
    QFile valueFile(valuePath);
    if (!indexFile.open(QIODevice::WriteOnly) || !valueFile.open(QIODevice::WriteOnly))
        qFatal("cannot write the statistics files");
    indexFile.write(index);
    valueFile.write(values);
}

// Worst lateness of a 10 ms timer on this thread while `step` runs and until `done` holds.
qint64 threadCpuNs()
{
    timespec now {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

class Probe : public QObject
{
public:
    Probe()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(10);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            const qint64 now = m_clock.nsecsElapsed();
            const qint64 cpu = threadCpuNs();
            m_worst = qMax(m_worst, (now - m_last) / 1000000.0 - 10.0);
            m_worstCpu = qMax(m_worstCpu, (cpu - m_lastCpu) / 1000000.0);
            m_last = now;
            m_lastCpu = cpu;
        });
    }

    // The GUI thread's longest stretch of CPU time between two ticks in the last measure().
    double worstCpu() const { return m_worstCpu; }

    double measure(const std::function<void()> &step, const std::function<bool()> &done,
                   double *seconds)
    {
        m_worst = 0;
        m_worstCpu = 0;
        m_clock.start();
        m_last = m_clock.nsecsElapsed();
        m_lastCpu = threadCpuNs();
        m_timer.start();
        step();
        while (!done())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        // One more tick, so a stall at the very end is counted too.
        const qint64 end = m_clock.nsecsElapsed();
        while (m_clock.nsecsElapsed() - end < 30000000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        m_timer.stop();
        *seconds = end / 1e9;
        return m_worst;
    }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_lastCpu = 0;
    double m_worst = 0;
    double m_worstCpu = 0;
};

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    QApplication app(argc, argv);
    const int total = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 4000000;
    QTemporaryDir dir;
    const QString indexPath = dir.filePath(QStringLiteral("meastime.dat"));
    const QString valuePath = dir.filePath(QStringLiteral("measure.dat"));
    const QString history = dir.filePath(QStringLiteral("history.hist"));
    writeStatistics(total, indexPath, valuePath);

    HistoryViewWidget page(true);
    page.resize(1024, 700);
    page.show();
    QCoreApplication::processEvents();
    Probe probe;
    double seconds = 0;
    std::printf("%-52s %10s %10s %8s\n", "step", "late ms", "GUI cpu ms", "took s");

    QElapsedTimer idle;
    const double floor = probe.measure([&idle] { idle.start(); },
                                       [&idle] { return idle.elapsed() > 2000; }, &seconds);
    std::printf("%-52s %10.1f %10.1f %8.2f\n", "idle event loop (floor)", floor, probe.worstCpu(), seconds);

    // The simulator offers the statistics just written as its own MEASTIME.DAT and MEASURE.DAT.
    DevSimProcess sim;
    if (!sim.start({ QStringLiteral("--meastime"), indexPath, QStringLiteral("--measure"), valuePath }))
        qFatal("cannot start the simulator");
    Device device(sim.path());
    QTemporaryDir downloads;
    HistoryDownload download(&device);
    download.setOutputDirectory(downloads.path());
    QObject::connect(&download, SIGNAL(progress(QString, int)), &page, SLOT(progress(QString, int)));
    bool downloaded = false;
    QObject::connect(&download, &HistoryDownload::finished, [&downloaded] { downloaded = true; });
    const double fetch = probe.measure([&download] { download.start(); },
                                       [&downloaded] { return downloaded; }, &seconds);
    if (download.error() != HistoryDownload::Error::None)
        qFatal("download failed: %s", qPrintable(download.errorString()));
    std::printf("%-52s %10.1f %10.1f %8.2f\n",
                qPrintable(QStringLiteral("download %1 values and convert").arg(total)), fetch,
                probe.worstCpu(), seconds);
    sim.stop();

    HistoryConverter converter;
    converter.setIndexFile(indexPath);
    converter.setValueFile(valuePath);
    converter.setOutputFile(history);
    // Progress reaches the page as it does when the page runs the conversion itself.
    QObject::connect(&converter, SIGNAL(progress(QString, int)), &page, SLOT(progress(QString, int)));
    bool converted = false;
    QObject::connect(&converter, &QThread::finished, [&converted] { converted = true; });
    const double convert = probe.measure([&converter] { converter.start(); },
                                         [&converted] { return converted; }, &seconds);
    std::printf("%-52s %10.1f %10.1f %8.2f\n", qPrintable(QStringLiteral("convert %1 values").arg(total)),
                convert, probe.worstCpu(), seconds);

    bool loaded = false;
    QObject::connect(page.reader(), &QThread::finished, [&loaded] { loaded = true; });
    const double load = probe.measure([&page, &history] { page.openHistory(history); },
                                      [&loaded] { return loaded; }, &seconds);
    std::printf("%-52s %10.1f %10.1f %8.2f\n",
                qPrintable(QStringLiteral("load %1 rows into the page and draw")
                               .arg(page.reader()->records().size())),
                load, probe.worstCpu(), seconds);

    // The user widens the window to 1000 bars with the wheel and scrolls, then resizes the
    // window, which sorts every record into the strip's new pixel columns.
    HystogramTimeline *strip = page.histogram()->timeline();
    int steps = 0;
    const double widen = probe.measure(
        [] {},
        [&] {
            if (strip->windowLength() >= 1000 && steps > 50)
                return true;
            if (strip->windowLength() < 1000) {
                QWheelEvent wheel(QPointF(10, 10), strip->mapToGlobal(QPoint(10, 10)), QPoint(),
                                  QPoint(0, 120 * 10), Qt::NoButton, Qt::NoModifier,
                                  Qt::NoScrollPhase, false);
                for (int i = 0; i < 10; ++i)
                    QCoreApplication::sendEvent(strip, &wheel);
            } else {
                strip->stepLater();
                ++steps;
            }
            page.repaint();
            return false;
        },
        &seconds);
    std::printf("%-52s %10.1f %10.1f %8.2f\n", "widen to 1000 bars, scroll 50 steps (repaint each)",
                widen, probe.worstCpu(), seconds);

    int resizes = 0;
    const double resize = probe.measure(
        [] {},
        [&] {
            if (resizes == 10)
                return true;
            page.resize(1024 + 40 * (++resizes), 700);
            page.repaint();
            return false;
        },
        &seconds);
    std::printf("%-52s %10.1f %10.1f %8.2f\n", "resize the page 10 times (repaint each)", resize, probe.worstCpu(),
                seconds);
    std::printf("worst lateness over the chain: %.1f ms (idle floor %.1f ms)\n",
                qMax(qMax(fetch, qMax(convert, load)), qMax(widen, resize)), floor);
    return converter.databasePath().isEmpty() ? 1 : 0;
}
