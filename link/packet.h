#pragma once

#include <QByteArray>
#include <QList>
#include <QtGlobal>

namespace varno {
constexpr quint8 kFrameDelimiter = 0xC0;
constexpr quint8 kFrameEscape = 0xDB;
constexpr quint8 kEscapedDelimiter = 0xDC;
constexpr quint8 kEscapedEscape = 0xDD;
constexpr int kMaxFramePayloadBytes = 24;
constexpr int kAckTimeoutMs = 400;
constexpr quint8 kMaxRetries = 5;

constexpr quint8 kHeaderData = 0x80;
constexpr quint8 kHeaderLastFragment = 0x40;
constexpr quint8 kHeaderAbort = 0x04;
constexpr quint8 kHeaderNak = 0x02;
constexpr quint8 kHeaderMessage = 0x01;

// CRC-16/CCITT-FALSE (poly 0x1021, init 0xFFFF, no reflection, no final XOR), table driven.
quint16 crc16(const char *data, int size, quint16 crc = 0xFFFF);
inline quint16 crc16(const QByteArray &data) { return crc16(data.constData(), data.size()); }

// SLIP byte stuffing of a frame body.
QByteArray stuff(const QByteArray &body);
} // namespace varno

// One frame in memory: header, payload and, for a received frame, the check value it carried.
class Packet
{
public:
    Packet() = default;
    Packet(quint8 header, const QByteArray &payload);

    // A received frame from its unstuffed body; a body shorter than 3 bytes gives an invalid packet.
    static Packet fromBody(const QByteArray &body);
    static Packet data(int sequence, bool last, const QByteArray &payload);
    static Packet ack(int sequence);
    static Packet nak(int sequence);
    static Packet abort();

    quint8 header = 0;
    QByteArray payload;
    quint16 crc = 0;
    bool received = false;
    bool valid = true;

    bool isData() const { return header & varno::kHeaderData; }
    int sequence() const { return header & 0x07; }
    int ackNumber() const { return (header >> 3) & 0x07; }
    bool isLast() const { return header & varno::kHeaderLastFragment; }
    bool isAck() const { return !isData() && (header & 0x07) == 0; }
    bool isAbort() const { return !isData() && (header & varno::kHeaderAbort); }
    bool isNak() const { return !isData() && (header & varno::kHeaderNak); }
    bool isMessage() const { return !isData() && (header & varno::kHeaderMessage); }

    // The check value computed over header and payload.
    quint16 computeCrc() const;
    // The check value a received frame carried, or the computed one for an outgoing frame.
    quint16 checkValue() const { return received ? crc : computeCrc(); }
    bool crcMatches() const { return computeCrc() == checkValue(); }

    // Delimiter, stuffed header + payload + check value, delimiter.
    QByteArray encode() const;
    // Header and payload as lower-case hex bytes without leading zeros ("c0 1 ab").
    QString hexDump() const;
};

namespace varno {
// Cuts complete frames out of a receive buffer. Bytes before the first delimiter count as the start
// of a frame body; bytes after the last delimiter stay in the buffer for the next read.
void decodeFrames(QByteArray &buffer, QList<Packet> &out);
} // namespace varno
