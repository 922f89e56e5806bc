#include "link/framer.h"
#include "link/serialport.h"
#include "ptypair.h"

#include <QtTest>

#include <memory>

Q_DECLARE_METATYPE(QList<int>)

class tst_Framer : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void fragments_data();
    void fragments();
    void emptyReliableMessageQueuesNothing();
    void secondMessageWaitsForTheFirstAck();
    void unreliableShortMessageIsOneMessageFrame();
    void sixTransmissionsThenAbort();
    void duplicateAckAfterNextFrameAborts();
    void deviceAbortGivesReasonTwo();
    void nakResendsAtOnce();
    void nextMessageStartsWithPreviousLastNumber();
    void receive_data();
    void receive();
    void outOfStepDataFrameAborts();
    void badCrcIsLoggedAndNaked();
    void localAbortSendsAbortWithoutSignal();
    void garbageDoesNotStopTheLink();

private:
    void ackAll(int frames);
    void expectOnlyNewMessageAfter(int framesBefore);

    // Unless a test wants retransmissions, the time-out is out of reach, so a slow machine cannot
    // slip an extra frame in; tests that want them shorten it instead of waiting out the default.
    static constexpr int kPatientAckMs = 60000;
    static constexpr int kShortAckMs = 50;

    std::unique_ptr<PtyPair> m_pty;
    std::unique_ptr<Framer> m_framer;
};

void tst_Framer::init()
{
    m_pty = std::make_unique<PtyPair>();
    QVERIFY(!m_pty->slavePath().isEmpty());
    auto *port = new SerialPort(m_pty->slavePath(), 1200, 1200);
    port->Open();
    m_framer = std::make_unique<Framer>(port);
    m_framer->SetAckTimeout(kPatientAckMs);
    m_framer->StartListening();
}

void tst_Framer::cleanup()
{
    if (m_framer)
        m_framer->StopListening();
    m_framer.reset();
    m_pty.reset();
}

// Plays a well-behaved monitor: acknowledges each data frame as it arrives.
void tst_Framer::ackAll(int frames)
{
    for (int i = 0; i < frames; ++i) {
        QTRY_COMPARE_WITH_TIMEOUT(m_pty->frames.size(), i + 1, 10000);
        const Packet frame = m_pty->frames.at(i);
        QVERIFY(frame.isData());
        QVERIFY(m_pty->send(Packet::ack(frame.sequence())));
    }
}

// Proves the framer sends nothing of its own after framesBefore: a new message with a short
// time-out must go out, numbered 0, and then once more after a whole time-out, with nothing between.
void tst_Framer::expectOnlyNewMessageAfter(int framesBefore)
{
    m_framer->SetAckTimeout(kShortAckMs);
    QCOMPARE(m_framer->SendMessage("n", true), 1);
    QTRY_VERIFY(m_pty->frames.size() >= framesBefore + 2);
    for (int i = framesBefore; i < framesBefore + 2; ++i) {
        const Packet &frame = m_pty->frames.at(i);
        QVERIFY2(frame.isData() && frame.payload == "n", qPrintable(QStringLiteral("frame %1").arg(i)));
        QCOMPARE(frame.sequence(), 0);
    }
}

void tst_Framer::fragments_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<QList<int>>("payloads");
    QTest::newRow("1 byte") << 1 << QList<int> { 1 };
    QTest::newRow("24 bytes") << 24 << QList<int> { 24 };
    QTest::newRow("25 bytes") << 25 << QList<int> { 24, 1 };
    QTest::newRow("31 bytes (code + 30 parameters)") << 31 << QList<int> { 24, 7 };
    QTest::newRow("200 bytes wraps the numbers") << 200 << QList<int> { 24, 24, 24, 24, 24, 24, 24, 24, 8 };
}

void tst_Framer::fragments()
{
    QFETCH(int, size);
    QFETCH(QList<int>, payloads);
    QByteArray message(size, '\0');
    for (int i = 0; i < size; ++i)
        message[i] = char(i % 7 == 0 ? 0xC0 : (i % 5 == 0 ? 0xDB : i));
    QSignalSpy sent(m_framer.get(), &Framer::FrameSent);
    QCOMPARE(m_framer->SendMessage(message, true), payloads.size());
    ackAll(payloads.size());
    QTRY_COMPARE(sent.size(), payloads.size());
    QByteArray reassembled;
    for (int i = 0; i < payloads.size(); ++i) {
        const Packet &frame = m_pty->frames.at(i);
        QVERIFY(frame.crcMatches());
        QCOMPARE(frame.payload.size(), payloads.at(i));
        QCOMPARE(frame.sequence(), i % 8);
        QCOMPARE(frame.isLast(), i == payloads.size() - 1);
        QCOMPARE(sent.at(i).at(0).toInt(), i + 1);
        reassembled.append(frame.payload);
    }
    QCOMPARE(reassembled, message);
}

void tst_Framer::emptyReliableMessageQueuesNothing()
{
    QCOMPARE(m_framer->SendMessage(QByteArray(), true), 0);
    // The next message goes out first and keeps number 0.
    QCOMPARE(m_framer->SendMessage("x", true), 1);
    QTRY_COMPARE(m_pty->frames.size(), 1);
    QCOMPARE(m_pty->frames.first().payload, QByteArray("x"));
    QCOMPARE(m_pty->frames.first().sequence(), 0);
    QCOMPARE(m_pty->raw, m_pty->frames.first().encode());
}

void tst_Framer::secondMessageWaitsForTheFirstAck()
{
    QSignalSpy sent(m_framer.get(), &Framer::FrameSent);
    m_framer->SendMessage("a", true);
    m_framer->SendMessage("b", true);
    QTRY_COMPARE(m_pty->frames.size(), 1);
    QVERIFY(m_pty->send(Packet::ack(0)));
    QTRY_COMPARE(m_pty->frames.size(), 2);
    // Not "a" again: a resent frame would draw a second ACK, which aborts.
    QCOMPARE(m_pty->frames.at(1).payload, QByteArray("b"));
    QCOMPARE(m_pty->frames.at(1).sequence(), 1);
    QVERIFY(m_pty->send(Packet::ack(1)));
    QTRY_COMPARE(sent.size(), 2);
}

void tst_Framer::unreliableShortMessageIsOneMessageFrame()
{
    QCOMPARE(m_framer->SendMessage("\x03", false), 1);
    QTRY_COMPARE(m_pty->frames.size(), 1);
    QCOMPARE(m_pty->frames.first().header, quint8(0x01));
    QCOMPARE(m_pty->frames.first().payload, QByteArray("\x03"));
}

void tst_Framer::sixTransmissionsThenAbort()
{
    m_framer->SetAckTimeout(kShortAckMs);
    QSignalSpy aborted(m_framer.get(), &Framer::Aborted);
    QElapsedTimer clock;
    clock.start();
    m_framer->SendMessage(QByteArray(1, '\0'), true);
    QTRY_COMPARE_WITH_TIMEOUT(aborted.size(), 1, 20000);
    const qint64 elapsed = clock.elapsed();
    QCOMPARE(aborted.first().first().toInt(), 1);
    QTRY_COMPARE(m_pty->frames.size(), 7);
    for (int i = 0; i < 6; ++i) {
        QVERIFY(m_pty->frames.at(i).isData());
        QCOMPARE(m_pty->frames.at(i).payload, QByteArray(1, '\0'));
    }
    QCOMPARE(m_pty->frames.at(6).header, quint8(0x04));
    // Each transmission waited out its time-out; timers never fire early, whatever the load.
    QVERIFY2(elapsed >= 6 * kShortAckMs - 6, qPrintable(QString::number(elapsed)));
    expectOnlyNewMessageAfter(7); // nothing more of the aborted message
}

void tst_Framer::duplicateAckAfterNextFrameAborts()
{
    QSignalSpy aborted(m_framer.get(), &Framer::Aborted);
    m_framer->SendMessage(QByteArray(25, 'x'), true);
    QTRY_COMPARE(m_pty->frames.size(), 1);
    QVERIFY(m_pty->write(Packet::ack(0).encode() + Packet::ack(0).encode()));
    QTRY_COMPARE(aborted.size(), 1);
    QCOMPARE(aborted.first().first().toInt(), 1);
    QTRY_COMPARE(m_pty->frames.size(), 3);
    QCOMPARE(m_pty->frames.at(1).sequence(), 1);
    QCOMPARE(m_pty->frames.at(2).header, quint8(0x04));
}

void tst_Framer::deviceAbortGivesReasonTwo()
{
    QSignalSpy aborted(m_framer.get(), &Framer::Aborted);
    m_framer->SendMessage(QByteArray(60, 'x'), true);
    QTRY_COMPARE(m_pty->frames.size(), 1);
    QVERIFY(m_pty->send(Packet::abort()));
    QTRY_COMPARE(aborted.size(), 1);
    QCOMPARE(aborted.first().first().toInt(), 2);
    expectOnlyNewMessageAfter(1); // queued and in-flight frames were dropped
}

void tst_Framer::nakResendsAtOnce()
{
    m_framer->SendMessage("\x20", true);
    QTRY_COMPARE(m_pty->frames.size(), 1);
    // The time-out is a minute away, so the resend can only be the NAK's doing.
    QVERIFY(m_pty->send(Packet::nak(0)));
    QTRY_COMPARE(m_pty->frames.size(), 2);
    QCOMPARE(m_pty->frames.at(1).payload, QByteArray("\x20"));
}

void tst_Framer::nextMessageStartsWithPreviousLastNumber()
{
    QSignalSpy sent(m_framer.get(), &Framer::FrameSent);
    m_framer->SendMessage(QByteArray(25, 'a'), true);
    ackAll(2);
    QTRY_COMPARE(sent.size(), 2);
    m_framer->SendMessage("b", true);
    QTRY_COMPARE(m_pty->frames.size(), 3);
    QCOMPARE(m_pty->frames.at(2).payload, QByteArray("b"));
    QCOMPARE(m_pty->frames.at(2).sequence(), 1);
    QVERIFY(m_pty->send(Packet::ack(1)));
    QTRY_COMPARE(sent.size(), 3);
    QCOMPARE(sent.last().first().toInt(), 1);
}

void tst_Framer::receive_data()
{
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<QList<QByteArray>>("messages");
    QTest::addColumn<int>("acks");

    QTest::newRow("one frame") << Packet::data(0, true, "hello").encode()
                               << QList<QByteArray> { "hello" } << 1;
    QTest::newRow("two fragments, both numbered 0")
        << Packet::data(0, false, QByteArray(24, 'a')).encode() + Packet::data(0, true, "bc").encode()
        << QList<QByteArray> { QByteArray(24, 'a') + "bc" } << 2;
    QTest::newRow("two messages in one read")
        << Packet::data(0, true, "one").encode() + Packet::data(0, true, "two").encode()
        << QList<QByteArray> { "one", "two" } << 2;
    QTest::newRow("stuffed payload") << Packet::data(0, true, QByteArray::fromHex("c0dbdcdd")).encode()
                                     << QList<QByteArray> { QByteArray::fromHex("c0dbdcdd") } << 1;
    QTest::newRow("message frame, not acknowledged")
        << Packet(0x01, "msg").encode() << QList<QByteArray> { "msg" } << 0;
    QTest::newRow("doubled delimiters") << QByteArray(3, char(0xC0)) + Packet::data(0, true, "x").encode()
                                        << QList<QByteArray> { "x" } << 1;
}

void tst_Framer::receive()
{
    QFETCH(QByteArray, wire);
    QFETCH(QList<QByteArray>, messages);
    QFETCH(int, acks);
    QSignalSpy ready(m_framer.get(), &Framer::DataReady);
    QVERIFY(m_pty->write(wire));
    QTRY_COMPARE(ready.size(), messages.size());
    for (int i = 0; i < messages.size(); ++i)
        QCOMPARE(ready.at(i).first().toByteArray(), messages.at(i));
    QTRY_COMPARE(m_pty->frames.size(), acks);
    for (const Packet &ack : qAsConst(m_pty->frames)) {
        QVERIFY(ack.isAck());
        QCOMPARE(ack.ackNumber(), 0);
    }
}

void tst_Framer::outOfStepDataFrameAborts()
{
    QSignalSpy ready(m_framer.get(), &Framer::DataReady);
    QSignalSpy aborted(m_framer.get(), &Framer::Aborted);
    QVERIFY(m_pty->send(Packet::data(1, true, "late")));
    QTRY_COMPARE(aborted.size(), 1);
    QCOMPARE(aborted.first().first().toInt(), 1);
    QTRY_COMPARE(m_pty->frames.size(), 1);
    QCOMPARE(m_pty->frames.first().header, quint8(0x04));
    QCOMPARE(ready.size(), 0);
}

void tst_Framer::badCrcIsLoggedAndNaked()
{
    QSignalSpy ready(m_framer.get(), &Framer::DataReady);
    QByteArray body = QByteArray::fromHex("c2") + "ok" + QByteArray::fromHex("0000");
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Bad CRC: \"c2 6f 6b\""));
    QVERIFY(m_pty->write(char(0xC0) + body + char(0xC0)));
    QTRY_COMPARE(m_pty->frames.size(), 1);
    QVERIFY(m_pty->frames.first().isNak());
    QCOMPARE(m_pty->frames.first().ackNumber(), 2);
    QCOMPARE(ready.size(), 0);
    // The resent frame is taken normally.
    QVERIFY(m_pty->send(Packet::data(0, true, "ok")));
    QTRY_COMPARE(ready.size(), 1);
}

void tst_Framer::localAbortSendsAbortWithoutSignal()
{
    QSignalSpy aborted(m_framer.get(), &Framer::Aborted);
    m_framer->SendMessage(QByteArray(50, 'q'), true);
    QTRY_COMPARE(m_pty->frames.size(), 1);
    m_framer->Abort();
    QTRY_COMPARE(m_pty->frames.size(), 2);
    QCOMPARE(m_pty->frames.at(1).header, quint8(0x04));
    QCOMPARE(aborted.size(), 0);
    expectOnlyNewMessageAfter(2); // the queue was dropped, nothing is retransmitted
}

void tst_Framer::garbageDoesNotStopTheLink()
{
    QSignalSpy ready(m_framer.get(), &Framer::DataReady);
    QByteArray garbage(100000, 'z');
    for (int i = 0; i < garbage.size(); i += 4096)
        QVERIFY(m_pty->write(garbage.mid(i, 4096)));
    // The garbage ends in a frame that fails its check value, which pauses processing until the
    // next read; one of the device's retransmissions after its ACK time-out moves it on. However
    // slow the machine, the frames sent so far are then processed.
    for (int attempt = 0; attempt < 6 && ready.isEmpty(); ++attempt) {
        QVERIFY(m_pty->send(Packet::data(0, true, "still here")));
        if (QTest::qWaitFor([&] { return !ready.isEmpty(); }, 400))
            break;
    }
    QTRY_VERIFY_WITH_TIMEOUT(!ready.isEmpty(), 20000);
    QCOMPARE(ready.first().first().toByteArray(), QByteArray("still here"));
}

QTEST_GUILESS_MAIN(tst_Framer)
#include "tst_framer.moc"
