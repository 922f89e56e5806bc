#include "link/framer.h"
#include "link/serialport.h"
#include "ptypair.h"

#include <QtTest>

#include <memory>

// What the framer does with input beyond its two caps: the link must survive both.
class tst_FramerLimits : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void overlongMessageFailsAloneAndTheLinkGoesOn();
    void undelimitedInputIsDroppedAndTheNextFrameTaken_data();
    void undelimitedInputIsDroppedAndTheNextFrameTaken();

private:
    std::unique_ptr<PtyPair> m_pty;
    std::unique_ptr<Framer> m_framer;
};

void tst_FramerLimits::init()
{
    m_pty = std::make_unique<PtyPair>();
    QVERIFY(!m_pty->slavePath().isEmpty());
    auto *port = new SerialPort(m_pty->slavePath(), 1200, 1200);
    port->Open();
    m_framer = std::make_unique<Framer>(port);
    m_framer->StartListening();
}

void tst_FramerLimits::cleanup()
{
    if (m_framer)
        m_framer->StopListening();
    m_framer.reset();
    m_pty.reset();
}

void tst_FramerLimits::overlongMessageFailsAloneAndTheLinkGoesOn()
{
    // The real cap is 16 MiB; a small one reaches the same rule without moving megabytes.
    m_framer->SetMaxMessageBytes(100);
    QSignalSpy ready(m_framer.get(), &Framer::DataReady);
    QSignalSpy dropped(m_framer.get(), &Framer::MessageDropped);
    QSignalSpy aborted(m_framer.get(), &Framer::Aborted);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Dropping an incoming message longer than 100 bytes"));
    for (int i = 0; i < 5; ++i)
        QVERIFY(m_pty->send(Packet::data(0, false, QByteArray(24, char('a' + i)))));
    QTRY_COMPARE(dropped.size(), 1);
    QCOMPARE(dropped.first().first().toInt(), 96);
    // The device is told to stop sending; four ACKs, then ABORT.
    QTRY_COMPARE(m_pty->frames.size(), 5);
    QVERIFY(m_pty->frames.at(4).isAbort());
    QCOMPARE(aborted.size(), 0);
    QCOMPARE(ready.size(), 0);

    // The next reply is whole again, and so is the way out.
    QVERIFY(m_pty->send(Packet::data(0, true, "next")));
    QTRY_COMPARE(ready.size(), 1);
    QCOMPARE(ready.first().first().toByteArray(), QByteArray("next"));
    QVERIFY(m_framer->SendMessage("ping", true) > 0);
    QTRY_COMPARE(m_pty->frames.size(), 7);
    QVERIFY(m_pty->frames.at(6).isData());
    QCOMPARE(aborted.size(), 0);
}

void tst_FramerLimits::undelimitedInputIsDroppedAndTheNextFrameTaken_data()
{
    QTest::addColumn<QByteArray>("garbage");
    QTest::newRow("before any delimiter") << QByteArray(5000, 'z');
    QTest::newRow("after a delimiter") << QByteArray(1, char(0xC0)) + QByteArray(5000, 'z');
}

void tst_FramerLimits::undelimitedInputIsDroppedAndTheNextFrameTaken()
{
    QFETCH(QByteArray, garbage);
    QSignalSpy ready(m_framer.get(), &Framer::DataReady);
    QSignalSpy aborted(m_framer.get(), &Framer::Aborted);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Dropping \\d+ bytes of input without a frame end"));
    QVERIFY(m_pty->write(garbage));
    QVERIFY(m_pty->send(Packet::data(0, true, "still here")));
    // Taken on its first sending: no frame failed its check value, so nothing waits for a resend.
    QTRY_COMPARE_WITH_TIMEOUT(ready.size(), 1, 5000);
    QCOMPARE(ready.first().first().toByteArray(), QByteArray("still here"));
    QVERIFY(m_pty->frames.size() >= 1);
    QVERIFY(m_pty->frames.first().isAck());
    QCOMPARE(aborted.size(), 0);
}

QTEST_GUILESS_MAIN(tst_FramerLimits)
#include "tst_framerlimits.moc"
