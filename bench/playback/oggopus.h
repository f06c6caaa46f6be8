#pragma once

#include <QByteArray>
#include <QList>

#include <array>
#include <cstdint>

// A minimal Ogg Opus writer for the benchmark: wraps bare mono packets so
// that opusdec can read the same audio the speaker decodes.
namespace bench {

inline std::uint32_t oggCrc(const QByteArray &page)
{
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t r = i << 24;
            for (int k = 0; k < 8; ++k)
                r = (r & 0x80000000u) ? (r << 1) ^ 0x04c11db7u : r << 1;
            t[i] = r;
        }
        return t;
    }();
    std::uint32_t crc = 0;
    for (char c : page)
        crc = (crc << 8) ^ table[((crc >> 24) ^ static_cast<std::uint8_t>(c)) & 0xff];
    return crc;
}

template <typename T> void putLe(QByteArray &out, T value)
{
    for (std::size_t i = 0; i < sizeof(T); ++i)
        out.append(static_cast<char>((static_cast<std::uint64_t>(value) >> (8 * i)) & 0xff));
}

inline QByteArray oggPage(const QList<QByteArray> &packets, std::uint8_t flags, std::int64_t granule,
                          std::uint32_t sequence)
{
    QByteArray page("OggS");
    page.append('\0');
    page.append(static_cast<char>(flags));
    putLe(page, granule);
    putLe(page, std::uint32_t{0x746f6c6b}); // stream serial
    putLe(page, sequence);
    putLe(page, std::uint32_t{0}); // CRC, filled in below
    QByteArray lacing;
    for (const QByteArray &packet : packets) {
        qsizetype left = packet.size();
        for (; left >= 255; left -= 255)
            lacing.append(static_cast<char>(255));
        lacing.append(static_cast<char>(left));
    }
    page.append(static_cast<char>(lacing.size()));
    page.append(lacing);
    for (const QByteArray &packet : packets)
        page.append(packet);
    const std::uint32_t crc = oggCrc(page);
    for (int i = 0; i < 4; ++i)
        page[22 + i] = static_cast<char>((crc >> (8 * i)) & 0xff);
    return page;
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

    QByteArray out = oggPage({head}, 0x02, 0, 0) + oggPage({tags}, 0, 0, 1);
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
        out += oggPage(page, last ? 0x04 : 0, granule, sequence++);
    }
    return out;
}

} // namespace bench
