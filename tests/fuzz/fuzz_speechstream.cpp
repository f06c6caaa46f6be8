// The synthesis reply's decoder: any bytes, cut into pieces of any size as
// the network hands them over. The first byte chooses the piece size.
#include "fuzzcheck.h"
#include "speechdecoder.h"
#include "speechstream.h"

#include <QByteArrayView>

#include <cstddef>
#include <cstdint>

namespace {

// At most 40 ms of 48 kHz mono 16-bit samples come out of one packet.
constexpr qsizetype maxPcmPerPacket = 1920 * 2;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    const auto piece = static_cast<std::size_t>(data[0]) + 1;
    SpeechStream stream;
    qsizetype fed = 0;
    qsizetype decodedPackets = 0;
    for (std::size_t at = 1; at < size; at += piece) {
        const std::size_t length = std::min(piece, size - at);
        stream.feed(QByteArrayView(reinterpret_cast<const char *>(data + at), qsizetype(length)));
        fed += qsizetype(length);
        const qsizetype whole = stream.wholePackets();
        const QByteArray pcm = stream.decode(whole);
        TOLKA_FUZZ_CHECK(pcm.size() % 2 == 0);
        TOLKA_FUZZ_CHECK(pcm.size() <= whole * maxPcmPerPacket);
        decodedPackets += whole;
        TOLKA_FUZZ_CHECK(stream.wholePackets() == 0);
        TOLKA_FUZZ_CHECK(stream.partialBytes() == fed - decodedPackets * speechDecoding::packetBytes);
    }
    return 0;
}
