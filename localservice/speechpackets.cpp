#include "speechpackets.h"

#include "servicelogging.h"

#include <opus.h>

#include <algorithm>
#include <array>
#include <memory>

namespace speechpackets {

QByteArray encode(std::span<const qint16> pcm24k)
{
    int error = 0;
    const std::unique_ptr<OpusEncoder, decltype(&opus_encoder_destroy)> encoder(
        opus_encoder_create(sampleRate, 1, OPUS_APPLICATION_VOIP, &error), &opus_encoder_destroy);
    if (error != OPUS_OK || !encoder) {
        qCWarning(lcLocalService) << "cannot create the Opus encoder:" << opus_strerror(error);
        return {};
    }
    opus_encoder_ctl(encoder.get(), OPUS_SET_BITRATE(24000));
    opus_encoder_ctl(encoder.get(), OPUS_SET_VBR(0));
    opus_encoder_ctl(encoder.get(), OPUS_SET_SIGNAL(OPUS_SIGNAL_VOICE));

    const qsizetype frames = (qsizetype(pcm24k.size()) + frameSamples - 1) / frameSamples;
    QByteArray packets;
    packets.reserve(frames * packetBytes);
    std::array<opus_int16, frameSamples> frame{};
    std::array<unsigned char, packetBytes> packet{};
    for (qsizetype i = 0; i < frames; ++i) {
        const auto chunk =
            pcm24k.subspan(size_t(i * frameSamples),
                           std::min<size_t>(frameSamples, pcm24k.size() - size_t(i * frameSamples)));
        std::ranges::fill(frame, opus_int16(0));
        std::ranges::copy(chunk, frame.begin());
        const opus_int32 size =
            opus_encode(encoder.get(), frame.data(), frameSamples, packet.data(), packetBytes);
        if (size != packetBytes) {
            qCWarning(lcLocalService) << "Opus gave a packet of" << size << "bytes instead of" << packetBytes;
            return {};
        }
        packets.append(reinterpret_cast<const char *>(packet.data()), size);
    }
    return packets;
}

} // namespace speechpackets
