#include "link/packet.h"

#include <QtTest>

class tst_FrameCodec : public QObject
{
    Q_OBJECT
private slots:
    void crc_data();
    void crc();
    void stuffingRoundTripOfEveryByte();
    void stuffing_data();
    void stuffing();
    void headerKinds_data();
    void headerKinds();
    void decode_data();
    void decode();
    void shortBodiesAreInvalid_data();
    void shortBodiesAreInvalid();
    void hexDump();
    void partialFrameWaitsForTheRest();
};

void tst_FrameCodec::crc_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("expected");
    QTest::newRow("check value") << QByteArray("123456789") << 0x29B1;
    QTest::newRow("empty body") << QByteArray() << 0xFFFF;
    QTest::newRow("single zero") << QByteArray(1, '\0') << 0xE1F0;
    QTest::newRow("ack header 0x08") << QByteArray(1, '\x08') << 0x60F8;
}

void tst_FrameCodec::crc()
{
    QFETCH(QByteArray, input);
    QFETCH(int, expected);
    QCOMPARE(int(varno::crc16(input)), expected);
}

void tst_FrameCodec::stuffingRoundTripOfEveryByte()
{
    QByteArray payload;
    for (int i = 0; i < 256; ++i)
        payload.append(char(i));
    // Every byte value, in frames of at most 24 payload bytes, survives encoding and decoding.
    for (int offset = 0; offset < payload.size(); offset += varno::kMaxFramePayloadBytes) {
        const Packet sent = Packet::data(offset / 24 % 8, false, payload.mid(offset, 24));
        QByteArray wire = sent.encode();
        QCOMPARE(wire.count(char(varno::kFrameDelimiter)), 2);
        QList<Packet> decoded;
        varno::decodeFrames(wire, decoded);
        QCOMPARE(decoded.size(), 1);
        QCOMPARE(decoded.first().header, sent.header);
        QCOMPARE(decoded.first().payload, sent.payload);
        QVERIFY(decoded.first().crcMatches());
    }
}

void tst_FrameCodec::stuffing_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("stuffed");
    QTest::newRow("plain") << QByteArray::fromHex("0102") << QByteArray::fromHex("0102");
    QTest::newRow("delimiter") << QByteArray::fromHex("c0") << QByteArray::fromHex("dbdc");
    QTest::newRow("escape") << QByteArray::fromHex("db") << QByteArray::fromHex("dbdd");
    QTest::newRow("both") << QByteArray::fromHex("c0db") << QByteArray::fromHex("dbdcdbdd");
    QTest::newRow("escape-like bytes alone") << QByteArray::fromHex("dcdd") << QByteArray::fromHex("dcdd");
}

void tst_FrameCodec::stuffing()
{
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, stuffed);
    QCOMPARE(varno::stuff(body), stuffed);
}

void tst_FrameCodec::headerKinds_data()
{
    QTest::addColumn<int>("header");
    QTest::addColumn<bool>("data");
    QTest::addColumn<bool>("ack");
    QTest::addColumn<bool>("nak");
    QTest::addColumn<bool>("abort");
    QTest::addColumn<bool>("message");
    QTest::addColumn<int>("sequence");
    QTest::addColumn<int>("acked");
    QTest::newRow("data seq 5 last") << 0xC5 << true << false << false << false << false << 5 << 0;
    QTest::newRow("ack 7") << 0x38 << false << true << false << false << false << 0 << 7;
    QTest::newRow("nak 3") << 0x1A << false << false << true << false << false << 2 << 3;
    QTest::newRow("abort") << 0x04 << false << false << false << true << false << 4 << 0;
    QTest::newRow("message") << 0x01 << false << false << false << false << true << 1 << 0;
    // Several low bits at once: each kind is tested on its own.
    QTest::newRow("abort+nak+message") << 0x07 << false << false << true << true << true << 7 << 0;
}

void tst_FrameCodec::headerKinds()
{
    QFETCH(int, header);
    const Packet p { quint8(header), QByteArray() };
    QTEST(p.isData(), "data");
    QTEST(p.isAck(), "ack");
    QTEST(p.isNak(), "nak");
    QTEST(p.isAbort(), "abort");
    QTEST(p.isMessage(), "message");
    QTEST(p.sequence(), "sequence");
    QTEST(p.ackNumber(), "acked");
}

void tst_FrameCodec::decode_data()
{
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<QList<QByteArray>>("bodies");
    QTest::addColumn<QByteArray>("left");

    const QByteArray a = Packet::data(0, true, "A").encode();
    const QByteArray b = Packet::ack(2).encode();
    const QByteArray aBody = QByteArray::fromHex("c041") + QByteArray::fromHex("0000");
    QTest::newRow("two frames in one read")
        << a + b << QList<QByteArray> { "A", "" } << QByteArray(1, char(0xC0));
    QTest::newRow("two delimiters in a row then a frame")
        << QByteArray(1, char(0xC0)) + a << QList<QByteArray> { "A" } << QByteArray(1, char(0xC0));
    QTest::newRow("nothing but delimiters") << QByteArray(5, char(0xC0)) << QList<QByteArray> {}
                                            << QByteArray();
    QTest::newRow("garbage before the first delimiter joins the body")
        << QByteArray("xy") + a.mid(1) << QList<QByteArray> { "\x41" } << QByteArray(1, char(0xC0));
    QTest::newRow("no delimiter at all") << QByteArray("abc") << QList<QByteArray> {}
                                         << QByteArray("abc");
    Q_UNUSED(aBody);
}

void tst_FrameCodec::decode()
{
    QFETCH(QByteArray, wire);
    QFETCH(QList<QByteArray>, bodies);
    QFETCH(QByteArray, left);
    QList<Packet> packets;
    varno::decodeFrames(wire, packets);
    QCOMPARE(packets.size(), bodies.size());
    for (int i = 0; i < packets.size(); ++i) {
        if (QTest::currentDataTag() == QByteArray("garbage before the first delimiter joins the body")) {
            // "xy" became header and first payload byte: the check value no longer matches.
            QVERIFY(!packets.at(i).crcMatches());
        } else {
            QCOMPARE(packets.at(i).payload, bodies.at(i));
            QVERIFY(packets.at(i).crcMatches());
        }
    }
    QCOMPARE(wire, left);
}

void tst_FrameCodec::shortBodiesAreInvalid_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::newRow("one byte") << QByteArray("\x80", 1);
    QTest::newRow("two bytes") << QByteArray("\x80\x01", 2);
}

void tst_FrameCodec::shortBodiesAreInvalid()
{
    QFETCH(QByteArray, body);
    QByteArray wire = char(0xC0) + body + char(0xC0);
    QList<Packet> packets;
    varno::decodeFrames(wire, packets);
    QCOMPARE(packets.size(), 1);
    QVERIFY(!packets.first().valid);
    QVERIFY(packets.first().payload.isEmpty());
}

void tst_FrameCodec::hexDump()
{
    const Packet p(0xC0, QByteArray::fromHex("00ab0f"));
    QCOMPARE(p.hexDump(), QStringLiteral("c0 0 ab f"));
}

void tst_FrameCodec::partialFrameWaitsForTheRest()
{
    const QByteArray frame = Packet::data(0, true, QByteArray::fromHex("c0dbc0")).encode();
    QList<Packet> packets;
    QByteArray buffer;
    // Feed byte by byte, including a split right after an escape byte.
    for (const char c : frame) {
        buffer.append(c);
        varno::decodeFrames(buffer, packets);
    }
    QCOMPARE(packets.size(), 1);
    QCOMPARE(packets.first().payload, QByteArray::fromHex("c0dbc0"));
    QVERIFY(packets.first().crcMatches());
}

QTEST_APPLESS_MAIN(tst_FrameCodec)
#include "tst_framecodec.moc"
