// The recording's Ogg writer fed packets of any sizes, with pages closed at
// any point, read back by libogg's own reader: every page must check out
// and every packet come back whole, in order, with its granule position.
#include "fuzzcheck.h"
#include "oggwriter.h"

#include <ogg/ogg.h>

#include <QByteArray>
#include <QList>

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

constexpr quint32 serial = 0x746f6c6b;
constexpr int headerPackets = 2;

struct ReadBack
{
    QList<QByteArray> packets;
    QList<qint64> granules; // of the pages, in order
    bool endSeen = false;
};

ReadBack readBack(const QByteArray &stream)
{
    ReadBack result;
    ogg_sync_state sync;
    ogg_stream_state reader;
    ogg_sync_init(&sync);
    ogg_stream_init(&reader, int(serial));
    char *buffer = ogg_sync_buffer(&sync, long(stream.size()));
    std::memcpy(buffer, stream.constData(), std::size_t(stream.size()));
    ogg_sync_wrote(&sync, long(stream.size()));
    ogg_page page;
    int got = 0;
    while ((got = ogg_sync_pageout(&sync, &page)) != 0) {
        // A page that fails its checksum or framing shows as -1.
        TOLKA_FUZZ_CHECK(got == 1);
        TOLKA_FUZZ_CHECK(ogg_page_serialno(&page) == int(serial));
        TOLKA_FUZZ_CHECK(!result.endSeen);
        result.endSeen = ogg_page_eos(&page) != 0;
        result.granules.append(ogg_page_granulepos(&page));
        TOLKA_FUZZ_CHECK(ogg_stream_pagein(&reader, &page) == 0);
        ogg_packet packet;
        int out = 0;
        while ((out = ogg_stream_packetout(&reader, &packet)) != 0) {
            TOLKA_FUZZ_CHECK(out == 1);
            result.packets.append(QByteArray(reinterpret_cast<const char *>(packet.packet), packet.bytes));
        }
    }
    ogg_stream_clear(&reader);
    ogg_sync_clear(&sync);
    return result;
}

} // namespace

// Each input byte is one step: 0 closes the page being filled; any other
// value n adds a packet of n bytes (at most the writer's limit) whose bytes
// are its number in the stream.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    OggWriter writer;
    writer.begin(serial);
    QList<QByteArray> written;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            writer.closePage();
            continue;
        }
        const int length = std::min<int>(data[i], OggWriter::maxPacketSize);
        const QByteArray packet(length, char(written.size() & 0xff));
        writer.addPacket(reinterpret_cast<const unsigned char *>(packet.constData()), length);
        written.append(packet);
    }
    writer.finish();

    const ReadBack back = readBack(writer.stream());
    TOLKA_FUZZ_CHECK(back.endSeen);
    TOLKA_FUZZ_CHECK(back.packets.size() == written.size() + headerPackets);
    for (qsizetype i = 0; i < written.size(); ++i)
        TOLKA_FUZZ_CHECK(back.packets.at(i + headerPackets) == written.at(i));
    // Granule positions never go back, and the last counts every packet.
    for (qsizetype i = 1; i < back.granules.size(); ++i)
        TOLKA_FUZZ_CHECK(back.granules.at(i) >= back.granules.at(i - 1));
    TOLKA_FUZZ_CHECK(back.granules.constLast() == written.size() * OggWriter::samplesPerPacket);
    return 0;
}
