// Link throughput: the frame codec in MB/s, and whole messages between the Communicator and the
// device simulator over a pseudo-terminal in microseconds per data frame, next to the floor of
// the same machine: a bare ping-pong of one 29-byte frame and a 5-byte ACK over a pty pair.
#include "link/communicator.h"
#include "link/packet.h"
#include "link/serialport.h"
#include "tests/common/devsimprocess.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

QByteArray pattern(int size)
{
    QByteArray data(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        data[i] = char((i * 37 + 11) % 256); // includes 0xC0 and 0xDB now and then
    return data;
}

void BM_Encode(benchmark::State &state)
{
    const QByteArray payload = pattern(varno::kMaxFramePayloadBytes);
    for (auto _ : state) {
        QByteArray wire = Packet::data(3, false, payload).encode();
        benchmark::DoNotOptimize(wire.data());
    }
    state.SetBytesProcessed(state.iterations() * payload.size());
}
BENCHMARK(BM_Encode);

void BM_Decode(benchmark::State &state)
{
    const QByteArray payload = pattern(65536);
    QByteArray wire;
    for (int at = 0; at < payload.size(); at += varno::kMaxFramePayloadBytes)
        wire += Packet::data(0, false, payload.mid(at, varno::kMaxFramePayloadBytes)).encode();
    for (auto _ : state) {
        QByteArray buffer = wire;
        QList<Packet> packets;
        varno::decodeFrames(buffer, packets);
        benchmark::DoNotOptimize(packets.size());
    }
    state.SetBytesProcessed(state.iterations() * payload.size());
}
BENCHMARK(BM_Decode);

void readExactly(int fd, char *buffer, int size)
{
    int got = 0;
    while (got < size) {
        pollfd pfd { fd, POLLIN, 0 };
        ::poll(&pfd, 1, 1000);
        const ssize_t n = ::read(fd, buffer + got, size_t(size - got));
        if (n > 0)
            got += int(n);
    }
}

// The floor: what one stop-and-wait exchange costs on this kernel with nothing else in the way.
void BM_PtyPingPongFloor(benchmark::State &state)
{
    int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ::grantpt(master);
    ::unlockpt(master);
    const int slave = ::open(::ptsname(master), O_RDWR | O_NOCTTY);
    termios tio {};
    for (int fd : { master, slave }) {
        ::tcgetattr(fd, &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(fd, TCSANOW, &tio);
    }
    // 29 bytes: delimiter, header, 24 payload bytes, check value, delimiter (nothing to stuff).
    const QByteArray frameBytes = Packet::data(0, false, QByteArray(varno::kMaxFramePayloadBytes, 'a')).encode();
    const QByteArray ackBytes = Packet::ack(0).encode();
    std::array<char, 29> frame {};
    std::array<char, 5> ack {};
    std::copy_n(frameBytes.constData(), std::min<int>(frameBytes.size(), 29), frame.begin());
    std::copy_n(ackBytes.constData(), std::min<int>(ackBytes.size(), 5), ack.begin());
    std::atomic<bool> done { false };
    std::thread device([&] {
        char buffer[64];
        while (!done) {
            readExactly(master, buffer, 29);
            if (::write(master, ack.data(), ack.size()) != 5)
                break;
        }
    });
    char buffer[64];
    for (auto _ : state) {
        if (::write(slave, frame.data(), frame.size()) != 29)
            state.SkipWithError("write failed");
        readExactly(slave, buffer, 5);
    }
    done = true;
    [[maybe_unused]] ssize_t n = ::write(slave, frame.data(), frame.size()); // release the device thread
    device.join();
    ::close(slave);
    ::close(master);
    state.counters["frames_per_s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_PtyPingPongFloor)->UseRealTime()->Unit(benchmark::kMicrosecond);

// One 1 MiB command to the simulator in echo mode and its 1 MiB reply: both directions of the
// link, every frame acknowledged.
void BM_CommunicatorMiB(benchmark::State &state)
{
    DevSimProcess sim;
    if (!sim.start({ QStringLiteral("--echo") }, QStringLiteral(VARNO_DEVSIM_PATH))) {
        state.SkipWithError("simulator did not start");
        return;
    }
    Communicator comm(new SerialPort(sim.path(), 1200, 1200));
    const QByteArray message = pattern(1 << 20);
    const int framesEachWay = (message.size() + varno::kMaxFramePayloadBytes - 1) / varno::kMaxFramePayloadBytes;
    QEventLoop loop;
    QByteArray reply;
    QObject::connect(&comm, &Communicator::userData, &loop, [&](const QByteArray &data) {
        reply = data;
        loop.quit();
    });
    QObject::connect(&comm, &Communicator::aborted, &loop, [&](int) { loop.quit(); });
    for (auto _ : state) {
        reply.clear();
        comm.Send(quint8(message.at(0)), message.mid(1));
        QTimer::singleShot(120000, &loop, &QEventLoop::quit);
        loop.exec();
        if (reply != message)
            state.SkipWithError("reply differs from the message");
    }
    state.counters["frames_per_s"] = benchmark::Counter(double(state.iterations()) * 2 * framesEachWay,
        benchmark::Counter::kIsRate);
    state.SetBytesProcessed(state.iterations() * 2 * message.size());
}
BENCHMARK(BM_CommunicatorMiB)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(2);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
