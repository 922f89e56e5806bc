#include "link/packet.h"

#include <QStringList>
#include <array>

namespace {

std::array<quint16, 256> makeCrcTable()
{
    std::array<quint16, 256> table {};
    for (int i = 0; i < 256; ++i) {
        quint16 value = quint16(i << 8);
        for (int bit = 0; bit < 8; ++bit)
            value = (value & 0x8000) ? quint16((value << 1) ^ 0x1021) : quint16(value << 1);
        table[i] = value;
    }
    return table;
}

const std::array<quint16, 256> kCrcTable = makeCrcTable();

} // namespace

quint16 varno::crc16(const char *data, int size, quint16 crc)
{
    for (int i = 0; i < size; ++i) {
        const quint8 index = quint8((crc >> 8) ^ quint8(data[i]));
        crc = quint16((crc << 8) ^ kCrcTable[index]);
    }
    return crc;
}

QByteArray varno::stuff(const QByteArray &body)
{
    QByteArray out;
    out.reserve(body.size() + body.size() / 8 + 2);
    for (const char c : body) {
        const quint8 b = quint8(c);
        if (b == kFrameDelimiter) {
            out.append(char(kFrameEscape));
            out.append(char(kEscapedDelimiter));
        } else if (b == kFrameEscape) {
            out.append(char(kFrameEscape));
            out.append(char(kEscapedEscape));
        } else {
            out.append(c);
        }
    }
    return out;
}

Packet::Packet(quint8 h, const QByteArray &p)
    : header(h)
    , payload(p)
{
}

Packet Packet::fromBody(const QByteArray &body)
{
    Packet packet;
    packet.received = true;
    if (body.size() < 3) {
        // Too short to hold a header and a check value: never read outside it.
        packet.valid = false;
        packet.header = body.isEmpty() ? 0 : quint8(body.at(0));
        return packet;
    }
    packet.header = quint8(body.at(0));
    packet.payload = body.mid(1, body.size() - 3);
    packet.crc = quint16((quint8(body.at(body.size() - 2)) << 8) | quint8(body.at(body.size() - 1)));
    return packet;
}

Packet Packet::data(int sequence, bool last, const QByteArray &payload)
{
    return Packet(quint8(varno::kHeaderData | (last ? varno::kHeaderLastFragment : 0) | (sequence & 7)),
                  payload);
}

Packet Packet::ack(int sequence)
{
    return Packet(quint8((sequence & 7) << 3), QByteArray());
}

Packet Packet::nak(int sequence)
{
    return Packet(quint8(((sequence & 7) << 3) | varno::kHeaderNak), QByteArray());
}

Packet Packet::abort()
{
    return Packet(varno::kHeaderAbort, QByteArray());
}

quint16 Packet::computeCrc() const
{
    const char h = char(header);
    const quint16 crc = varno::crc16(&h, 1);
    return varno::crc16(payload.constData(), payload.size(), crc);
}

QByteArray Packet::encode() const
{
    QByteArray body;
    body.reserve(payload.size() + 3);
    body.append(char(header));
    body.append(payload);
    const quint16 crc = computeCrc();
    body.append(char(crc >> 8));
    body.append(char(crc & 0xFF));
    QByteArray frame;
    frame.reserve(body.size() * 2 + 2);
    frame.append(char(varno::kFrameDelimiter));
    frame.append(varno::stuff(body));
    frame.append(char(varno::kFrameDelimiter));
    return frame;
}

QString Packet::hexDump() const
{
    QStringList parts;
    parts.append(QString::number(header, 16));
    for (const char c : payload)
        parts.append(QString::number(quint8(c), 16));
    return parts.join(QLatin1Char(' '));
}

void varno::decodeFrames(QByteArray &buffer, QList<Packet> &out)
{
    QByteArray work;
    int consumed = 0; // bytes of buffer already turned into frames or skipped delimiters
    bool escape = false;
    const int size = buffer.size();
    const char *data = buffer.constData();
    for (int i = 0; i < size; ++i) {
        const quint8 b = quint8(data[i]);
        if (b == kFrameDelimiter) {
            escape = false;
            if (work.isEmpty()) {
                consumed = i + 1;
                continue;
            }
            out.append(Packet::fromBody(work));
            work.clear();
            // The delimiter that closed this frame opens the next one.
            consumed = i;
            continue;
        }
        if (escape) {
            escape = false;
            if (b == kEscapedDelimiter)
                work.append(char(kFrameDelimiter));
            else if (b == kEscapedEscape)
                work.append(char(kFrameEscape));
            else
                work.append(char(b));
        } else if (b == kFrameEscape) {
            escape = true; // an escape as the very last byte is dropped
        } else {
            work.append(char(b));
        }
    }
    if (consumed > 0)
        buffer.remove(0, consumed);
}
