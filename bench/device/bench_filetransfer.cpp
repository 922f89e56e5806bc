// File read and write through Device and the simulator on a pty, next to the raw pty round trip
// that bounds a stop-and-wait link, and the same transfers with the simulator pacing a 115200 baud
// line.

#include "device/commandhandle.h"
#include "device/device.h"
#include "tasks/filedescriptor.h"
#include "tasks/filereadtask.h"
#include "tasks/filewritetask.h"
#include "tests/common/devsimprocess.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>

#include <atomic>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr int kFramePayloadBytes = 24;
constexpr int kMinFrameBytes = 29; // delimiters, header, 24 bytes, check value, no stuffing
constexpr int kAckFrameBytes = 5;
constexpr double kLineBytesPerSecond = 11520.0; // 115200 baud, 10 bits a byte

void logNothing(QtMsgType, const QMessageLogContext &, const QString &) { }

int framesFor(qint64 messageBytes)
{
    return int((messageBytes + kFramePayloadBytes - 1) / kFramePayloadBytes);
}

// A device on a fresh simulator holding one file of the given size.
class Bench
{
public:
    bool start(int fileBytes, bool paced)
    {
        m_data = QByteArray(fileBytes, '\0');
        for (int i = 0; i < fileBytes; ++i)
            m_data[i] = char((i * 131 + 7) & 0xFF);
        m_local = m_dir.filePath(QStringLiteral("BENCH.BIN"));
        QFile file(m_local);
        if (!file.open(QIODevice::WriteOnly) || file.write(m_data) != m_data.size())
            return false;
        file.close();
        QStringList args { QStringLiteral("--no-files"), QStringLiteral("--file"), m_local };
        if (paced)
            args << QStringLiteral("--paced");
        if (!m_sim.start(args))
            return false;
        m_device = std::make_unique<Device>(m_sim.path());
        const TaskResult list = run(Device::ListFiles, {});
        const QVariantList files = list.data().toList();
        if (files.isEmpty())
            return false;
        m_descriptor = files.first();
        return true;
    }

    TaskResult run(int code, const QVariantHash &args)
    {
        TaskResult result;
        QEventLoop loop;
        if (!follow(m_device->executeCommand(code, args), &loop, [&](const TaskResult &r) { result = r; loop.quit(); }))
            return result;
        QTimer::singleShot(600000, &loop, &QEventLoop::quit);
        loop.exec();
        return result;
    }

    bool read()
    {
        const TaskResult r = run(Device::ReadFile, { { QLatin1String(FileReadTask::kFileDescriptorKey), m_descriptor },
                                                     { QLatin1String(FileReadTask::kFilePathKey), m_dir.path() } });
        return r.code() == 0;
    }

    bool write()
    {
        const TaskResult r = run(Device::WriteFile, { { QLatin1String(FileWriteTask::kFileInfoKey), QVariant::fromValue(QFileInfo(m_local)) },
                                                      { QLatin1String(FileWriteTask::kFileAttributesKey), 0u } });
        return r.code() == 0 && r.data().toBool();
    }

    ~Bench()
    {
        m_device.reset();
        m_sim.stop();
    }

private:
    QTemporaryDir m_dir;
    QString m_local;
    QByteArray m_data;
    DevSimProcess m_sim;
    std::unique_ptr<Device> m_device;
    QVariant m_descriptor;
};

void report(benchmark::State &state, qint64 payloadBytes, qint64 frames, double seconds, bool paced)
{
    state.SetBytesProcessed(payloadBytes);
    state.counters["us_per_frame"] = seconds * 1e6 / double(frames);
    if (paced) {
        const double ceiling = kLineBytesPerSecond * kFramePayloadBytes / kMinFrameBytes;
        state.counters["line_share_pct"] = 100.0 * double(payloadBytes) / seconds / ceiling;
    }
}

void transfer(benchmark::State &state, bool write, bool paced)
{
    const int size = int(state.range(0));
    Bench bench;
    if (!bench.start(size, paced)) {
        state.SkipWithError("simulator did not start");
        return;
    }
    QElapsedTimer clock;
    qint64 bytes = 0;
    qint64 frames = 0;
    double seconds = 0;
    for (auto _ : state) {
        clock.start();
        const bool ok = write ? bench.write() : bench.read();
        const double elapsed = double(clock.nsecsElapsed()) / 1e9;
        state.SetIterationTime(elapsed);
        if (!ok) {
            state.SkipWithError("transfer failed");
            return;
        }
        seconds += elapsed;
        bytes += size;
        frames += framesFor(size + 5); // code byte and the length or handle field
    }
    report(state, bytes, frames, seconds, paced);
}

void BM_FileRead(benchmark::State &state) { transfer(state, false, false); }
void BM_FileWrite(benchmark::State &state) { transfer(state, true, false); }
void BM_FileReadPaced115200(benchmark::State &state) { transfer(state, false, true); }
void BM_FileWritePaced115200(benchmark::State &state) { transfer(state, true, true); }

// The floor of any stop-and-wait exchange on a pty: one full data frame out, one ACK back, with
// the other end answering from its own thread as fast as it can.
void BM_PtyPingPong(benchmark::State &state)
{
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
        state.SkipWithError("no pty");
        return;
    }
    termios tio {};
    ::tcgetattr(master, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(master, TCSANOW, &tio);
    const int slave = ::open(::ptsname(master), O_RDWR | O_NOCTTY);
    ::tcgetattr(slave, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(slave, TCSANOW, &tio);
    std::atomic<bool> stop { false };
    std::thread echo([&] {
        char buffer[256];
        int have = 0;
        const char ack[kAckFrameBytes] = { char(0xC0), 0, 0x12, 0x34, char(0xC0) };
        while (!stop) {
            pollfd pfd { master, POLLIN, 0 };
            if (::poll(&pfd, 1, 50) <= 0)
                continue;
            const ssize_t n = ::read(master, buffer, sizeof buffer);
            if (n <= 0)
                continue;
            have += int(n);
            while (have >= kMinFrameBytes) {
                have -= kMinFrameBytes;
                [[maybe_unused]] const ssize_t w = ::write(master, ack, sizeof ack);
            }
        }
    });
    const QByteArray frame(kMinFrameBytes, 'x');
    char reply[64];
    QElapsedTimer clock;
    clock.start();
    for (auto _ : state) {
        [[maybe_unused]] const ssize_t w = ::write(slave, frame.constData(), size_t(frame.size()));
        int got = 0;
        while (got < kAckFrameBytes) {
            const ssize_t n = ::read(slave, reply, sizeof reply);
            if (n > 0)
                got += int(n);
        }
    }
    const double totalUs = double(clock.nsecsElapsed()) / 1e3;
    stop = true;
    echo.join();
    ::close(slave);
    ::close(master);
    state.counters["us_per_frame"] = totalUs / double(state.iterations());
}

} // namespace

BENCHMARK(BM_PtyPingPong);
BENCHMARK(BM_FileRead)->Arg(64 * 1024)->Arg(1024 * 1024)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_FileWrite)->Arg(64 * 1024)->Arg(1024 * 1024)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_FileReadPaced115200)->Arg(16 * 1024)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_FileWritePaced115200)->Arg(16 * 1024)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(2);

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (!qEnvironmentVariableIsSet("VARNO_BENCH_LOG"))
        qInstallMessageHandler(logNothing);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
