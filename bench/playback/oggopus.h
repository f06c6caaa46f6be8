#pragma once

#include "oggwriter.h"

#include <QByteArray>
#include <QList>

#include <cstdint>

// A minimal Ogg Opus writer for the benchmark: wraps bare mono packets so
// that opusdec can read the same audio the speaker decodes.
namespace bench {

template <typename T> void putLe(QByteArray &out, T value)
{
    for (std::size_t i = 0; i < sizeof(T); ++i)
        out.append(static_cast<char>((static_cast<std::uint64_t>(value) >> (8 * i)) & 0xff));
}

// One page of whole packets, by the recorder's own page writer.
inline QByteArray oggPage(const QList<QByteArray> &packets, bool first, bool last, std::int64_t granule,
                          std::uint32_t sequence)
{
    QByteArray lacing, body;
    for (const QByteArray &packet : packets) {
        qsizetype left = packet.size();
        for (; left >= 255; left -= 255)
            lacing.append(static_cast<char>(255));
        lacing.append(static_cast<char>(left));
        body.append(packet);
    }
    return OggWriter::makePage(body, lacing, granule, 0x746f6c6b, sequence, first, last);
}

// Packets of `packetBytes` bytes, 960 samples (at 48 kHz) each.
inline QByteArray oggOpus(const QByteArray &packets, int packetBytes)
{
    QByteArray head("OpusHead");
    head.append(char(1));              // version
    head.append(char(1));              // channels
    putLe(head, std::uint16_t{0});     // pre-skip
    putLe(head, std::uint32_t{24000}); // input rate
    putLe(head, std::int16_t{0});      // gain
    head.append(char(0));              // mapping family
    QByteArray tags("OpusTags");
    putLe(tags, std::uint32_t{5});
    tags.append("bench");
    putLe(tags, std::uint32_t{0});

    QByteArray out = oggPage({head}, true, false, 0, 0) + oggPage({tags}, false, false, 0, 1);
    std::uint32_t sequence = 2;
    std::int64_t granule = 0;
    const qsizetype count = packets.size() / packetBytes;
    for (qsizetype first = 0; first < count; first += 50) {
        QList<QByteArray> page;
        for (qsizetype p = first; p < std::min(count, first + 50); ++p) {
            page.append(packets.mid(p * packetBytes, packetBytes));
            granule += 960;
        }
        const bool last = first + 50 >= count;
        out += oggPage(page, false, last, granule, sequence++);
    }
    return out;
}

} // namespace bench
