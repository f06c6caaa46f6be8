#pragma once

#include <QByteArray>

#include <opus.h>

#include <cmath>
#include <cstring>
#include <vector>

// Synthesis-style test data made with the real encoder: 24 kHz mono, 20 ms
// frames, constant 24 kbit/s, so every packet is 60 bytes.
namespace testdata {

inline constexpr int packetBytes = 60;

// `count` packets of a tone whose pitch slides a little, so that each packet
// differs from the last.
inline QByteArray opusPackets(int count, double frequency = 440.0)
{
    int error = OPUS_OK;
    OpusEncoder *encoder = opus_encoder_create(24000, 1, OPUS_APPLICATION_VOIP, &error);
    if (!encoder || error != OPUS_OK)
        return {};
    opus_encoder_ctl(encoder, OPUS_SET_BITRATE(24000));
    opus_encoder_ctl(encoder, OPUS_SET_VBR(0));
    QByteArray packets;
    std::vector<opus_int16> frame(480);
    unsigned char packet[4000];
    double phase = 0;
    for (int p = 0; p < count; ++p) {
        for (opus_int16 &sample : frame) {
            phase += 2 * M_PI * (frequency + 2.0 * p) / 24000.0;
            sample = static_cast<opus_int16>(8000 * std::sin(phase));
        }
        const opus_int32 bytes = opus_encode(encoder, frame.data(), 480, packet, sizeof packet);
        if (bytes != packetBytes) {
            opus_encoder_destroy(encoder);
            return {};
        }
        packets.append(reinterpret_cast<const char *>(packet), bytes);
    }
    opus_encoder_destroy(encoder);
    return packets;
}

// A 60-byte packet no decoder accepts: code 3 (several frames) announcing
// zero frames.
inline QByteArray invalidPacket()
{
    QByteArray packet(packetBytes, '\0');
    packet[0] = static_cast<char>((1 << 3) | 3);
    return packet;
}

inline std::vector<qint16> samplesOf(const QByteArray &pcm)
{
    std::vector<qint16> samples(static_cast<std::size_t>(pcm.size() / 2));
    std::memcpy(samples.data(), pcm.constData(), samples.size() * 2);
    return samples;
}

} // namespace testdata
