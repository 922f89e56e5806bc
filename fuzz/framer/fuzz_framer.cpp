// Feeds arbitrary byte streams to the frame decoder, in the pieces a serial read would deliver,
// and checks what comes out: no crash, every packet re-encodes to a frame that decodes to itself,
// and the receive buffer keeps no more than the bytes after the last frame delimiter.
#include "link/framer.h"
#include "link/packet.h"

#include <QByteArray>
#include <QList>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    // The first byte chooses the read size, so that frames are split at every possible place.
    const size_t chunk = size_t(data[0] % 64) + 1;
    QByteArray buffer;
    for (size_t at = 1; at < size; at += chunk) {
        const size_t n = std::min(chunk, size - at);
        buffer.append(reinterpret_cast<const char *>(data + at), int(n));
        QList<Packet> packets;
        varno::decodeFrames(buffer, packets);
        if (buffer.size() > Framer::kMaxReceiveBufferBytes)
            buffer.clear();
        const int delimiters = buffer.count(char(0xc0));
        if (delimiters > 1 || (delimiters == 1 && buffer.at(0) != char(0xc0)))
            std::abort(); // a complete frame was left undecoded
        for (const Packet &p : qAsConst(packets)) {
            if (!p.valid || !p.crcMatches())
                continue;
            QByteArray again = p.encode();
            QList<Packet> round;
            varno::decodeFrames(again, round);
            if (round.size() != 1 || round.first().header != p.header || round.first().payload != p.payload)
                std::abort();
        }
    }
    return 0;
}
