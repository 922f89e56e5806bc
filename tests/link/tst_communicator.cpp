#include "link/communicator.h"
#include "link/framer.h"
#include "link/packet.h"
#include "link/serialport.h"
#include "tests/common/devsimprocess.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QtTest>

#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

// The communicator on a real pseudo-terminal, with the device simulator on the other end.
class tst_Communicator : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void identityCommand();
    void echo_data();
    void echo();
    void recoversFromLinkFaults_data();
    void recoversFromLinkFaults();
    void silentDeviceAbortsAfterSixTransmissions();
    void duplicateAckAborts();
    void deviceAbortGivesReasonTwo();
    void abortWithNothingWaitingKeepsTheLink();
    void copyInTheSameReadIsAcknowledgedOnce();
    void lateHostGetsNoCopyOfAnUnreadFrame();
    void openFailureThrows();

private:
    void startSimulator(const QStringList &args);

    DevSimProcess m_sim;
    std::unique_ptr<Communicator> m_comm;
};

void tst_Communicator::startSimulator(const QStringList &args)
{
    QVERIFY2(m_sim.start(args), "simulator did not start");
    m_comm = std::make_unique<Communicator>(new SerialPort(m_sim.path(), 1200, 1200));
}

void tst_Communicator::cleanup()
{
    m_comm.reset();
    m_sim.stop();
}

void tst_Communicator::identityCommand()
{
    startSimulator({ QStringLiteral("--serial"), QStringLiteral("SN-777") });
    QSignalSpy data(m_comm.get(), &Communicator::userData);
    QCOMPARE(m_comm->Send(0x00), 1);
    QTRY_COMPARE(data.size(), 1);
    const QByteArray reply = data.first().first().toByteArray();
    QCOMPARE(quint8(reply.at(0)), quint8(0x00));
    QVERIFY(reply.contains("DAV-180-R2"));
    QVERIFY(reply.contains("SN-777"));
}

void tst_Communicator::echo_data()
{
    QTest::addColumn<int>("size");

    QTest::newRow("1 byte") << 1;
    QTest::newRow("24 bytes, one frame") << 24;
    QTest::newRow("25 bytes, two frames") << 25;
    QTest::newRow("stuffed bytes") << 300;
    QTest::newRow("64 KiB") << 65536;
}

// Each message goes out whole and comes back whole: both directions of the link at once.
void tst_Communicator::echo()
{
    QFETCH(int, size);
    startSimulator({ QStringLiteral("--echo") });
    QByteArray message(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        message[i] = char((i * 31 + 7) % 256);
    message[0] = char(0x05);
    if (size > 2) {
        message[1] = char(0xc0);
        message[2] = char(0xdb);
    }
    QSignalSpy data(m_comm.get(), &Communicator::userData);
    QSignalSpy sent(m_comm.get(), &Communicator::dataSent);
    QSignalSpy received(m_comm.get(), &Communicator::dataReceived);
    QSignalSpy aborted(m_comm.get(), &Communicator::aborted);
    const int frames = (size + 23) / 24;
    QCOMPARE(m_comm->Send(quint8(message.at(0)), message.mid(1)), frames);
    QCOMPARE(m_comm->lastFrameCount(), frames);
    // A real event loop: QTRY_* naps 10 ms between polls, which would dominate a long exchange.
    QVERIFY(data.wait(30000));
    QCOMPARE(data.size(), 1);
    QCOMPARE(data.first().first().toByteArray(), message);
    QCOMPARE(sent.size(), frames);
    QCOMPARE(sent.last().first().toInt(), frames);
    QCOMPARE(received.size(), frames);
    QCOMPARE(received.last().first().toInt(), size);
    QCOMPARE(aborted.size(), 0);
}

void tst_Communicator::recoversFromLinkFaults_data()
{
    QTest::addColumn<QStringList>("faults");

    QTest::newRow("NAK resend") << QStringList { QStringLiteral("--nak-every"), QStringLiteral("3") };
    QTest::newRow("bad check values from the device") << QStringList { QStringLiteral("--corrupt-every"), QStringLiteral("4") };
    QTest::newRow("first ACK lost") << QStringList { QStringLiteral("--drop-acks"), QStringLiteral("1") };
    QTest::newRow("paced at 115200 baud") << QStringList { QStringLiteral("--baud"), QStringLiteral("115200") };
}

void tst_Communicator::recoversFromLinkFaults()
{
    QFETCH(QStringList, faults);
    startSimulator(QStringList { QStringLiteral("--echo") } + faults);
    QByteArray message(200, Qt::Uninitialized);
    for (int i = 0; i < message.size(); ++i)
        message[i] = char(i);
    QSignalSpy data(m_comm.get(), &Communicator::userData);
    QSignalSpy aborted(m_comm.get(), &Communicator::aborted);
    m_comm->Send(0x00, message.mid(1));
    QTRY_COMPARE_WITH_TIMEOUT(data.size(), 1, 10000);
    QCOMPARE(data.first().first().toByteArray(), message);
    // A lost ACK must not deliver the message twice: the echo of a later message comes next.
    m_comm->Send(0x07, "next");
    QTRY_COMPARE_WITH_TIMEOUT(data.size(), 2, 10000);
    QCOMPARE(data.at(1).first().toByteArray(), QByteArray("\x07" "next"));
    QCOMPARE(aborted.size(), 0);
}

void tst_Communicator::silentDeviceAbortsAfterSixTransmissions()
{
    startSimulator({ QStringLiteral("--silent") });
    // A short time-out instead of the device's 400 ms: the count of transmissions is what matters.
    const int ackTimeoutMs = 50;
    m_comm->framer()->SetAckTimeout(ackTimeoutMs);
    QSignalSpy aborted(m_comm.get(), &Communicator::aborted);
    QElapsedTimer clock;
    clock.start();
    m_comm->Send(0x00);
    QTRY_COMPARE_WITH_TIMEOUT(aborted.size(), 1, 20000);
    const qint64 elapsed = clock.elapsed();
    QCOMPARE(aborted.first().first().toInt(), 1);
    // Six transmissions, each waiting out its time-out; timers never fire early, whatever the load.
    QVERIFY2(elapsed >= 6 * ackTimeoutMs - 6, qPrintable(QString::number(elapsed)));
}

void tst_Communicator::duplicateAckAborts()
{
    startSimulator({ QStringLiteral("--echo"), QStringLiteral("--duplicate-acks") });
    QSignalSpy aborted(m_comm.get(), &Communicator::aborted);
    QCOMPARE(m_comm->Send(0x01, QByteArray(29, 'x')), 2);
    QTRY_VERIFY(!aborted.isEmpty());
    // Every later ACK is out of step as well and aborts again; all of them locally.
    for (const QList<QVariant> &args : qAsConst(aborted))
        QCOMPARE(args.first().toInt(), 1);
}

void tst_Communicator::deviceAbortGivesReasonTwo()
{
    startSimulator({ QStringLiteral("--abort-after"), QStringLiteral("1") });
    QSignalSpy aborted(m_comm.get(), &Communicator::aborted);
    QSignalSpy data(m_comm.get(), &Communicator::userData);
    m_comm->Send(0x00);
    QTRY_COMPARE(aborted.size(), 1);
    QCOMPARE(aborted.first().first().toInt(), 2);
    QCOMPARE(data.size(), 0);
}

void tst_Communicator::copyInTheSameReadIsAcknowledgedOnce()
{
    startSimulator({ QStringLiteral("--echo") });
    QSignalSpy data(m_comm.get(), &Communicator::userData);
    QSignalSpy aborted(m_comm.get(), &Communicator::aborted);
    // What a simulator that was not scheduled for a while reads at once: a frame, and the copy the
    // host resent when no ACK came in time.
    const QByteArray frame = Packet::data(0, true, QByteArray("\x07" "once")).encode();
    QCOMPARE(m_comm->framer()->port()->Write(frame + frame), int(2 * frame.size()));
    QTRY_COMPARE_WITH_TIMEOUT(data.size(), 1, 10000);
    QCOMPARE(data.first().first().toByteArray(), QByteArray("\x07" "once"));
    // The copy was not taken for a second message: the echo of the next one comes next.
    m_comm->Send(0x07, "next");
    QTRY_COMPARE_WITH_TIMEOUT(data.size(), 2, 10000);
    QCOMPARE(data.at(1).first().toByteArray(), QByteArray("\x07" "next"));
    QCOMPARE(aborted.size(), 0);
}

// A host that was not scheduled for a while must not find the reply twice on the line: the device
// numbers all its frames 0, so a copy would read as the next fragment.
void tst_Communicator::lateHostGetsNoCopyOfAnUnreadFrame()
{
    QVERIFY2(m_sim.start({ QStringLiteral("--echo") }), "simulator did not start");
    const int fd = ::open(QFile::encodeName(m_sim.path()).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    QVERIFY(fd >= 0);
    termios tio {};
    ::tcgetattr(fd, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(fd, TCSANOW, &tio);
    const QByteArray message("\x07" "late");
    const QByteArray request = Packet::data(0, true, message).encode();
    QCOMPARE(::write(fd, request.constData(), size_t(request.size())), ssize_t(request.size()));
    // Leave the ACK and the reply unread until the reply is there, then for three resend times more.
    const QByteArray reply = Packet::data(0, true, message).encode();
    const int expected = Packet::ack(0).encode().size() + reply.size();
    int unread = 0;
    QTRY_VERIFY_WITH_TIMEOUT(::ioctl(fd, FIONREAD, &unread) == 0 && unread >= expected, 10000);
    QTest::qSleep(3 * 400 + 100);
    char buffer[1024];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    ::close(fd);
    QCOMPARE(int(n), expected);
    QCOMPARE(QByteArray(buffer, int(n)).count(reply), 1);
}

void tst_Communicator::abortWithNothingWaitingKeepsTheLink()
{
    startSimulator({ QStringLiteral("--echo") });
    QSignalSpy data(m_comm.get(), &Communicator::userData);
    QSignalSpy aborted(m_comm.get(), &Communicator::aborted);
    m_comm->Abort();
    m_comm->Send(0x07, "abc");
    QTRY_COMPARE(data.size(), 1);
    QCOMPARE(data.first().first().toByteArray(), QByteArray("\x07" "abc"));
    QCOMPARE(aborted.size(), 0);
    QVERIFY(!m_comm->PortName().isEmpty());
    QCOMPARE(m_comm->PortName(), m_sim.path());
}

void tst_Communicator::openFailureThrows()
{
    // The port passes to the communicator only once it is open; until then it is the caller's.
    auto port = std::make_unique<SerialPort>(QStringLiteral("/nonexistent/ttyACM0"), 1200, 1200);
    try {
        Communicator comm(port.get());
        port.release();
        QFAIL("constructed on a missing port");
    } catch (const SerialPortException &e) {
        QCOMPARE(e.error(), ENOENT);
    }
}

QTEST_GUILESS_MAIN(tst_Communicator)
#include "tst_communicator.moc"
