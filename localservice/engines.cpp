#include "engines.h"

#include <opus.h>

#include <array>
#include <cmath>
#include <numbers>

QString EchoTranslation::translate(const QString &text, const QString &, const QString &)
{
    return text;
}

std::optional<QString> FixedRecognition::recognize(const QByteArray &, const QString &)
{
    return QStringLiteral("Hello world.");
}

namespace {

// 200 ms of a 440 Hz tone as ten constant-bitrate packets of 60 bytes.
QByteArray encodeTone()
{
    constexpr int sampleRate = 24000;
    constexpr int frameSamples = sampleRate / 50;
    constexpr int packetBytes = 60;
    int error = 0;
    OpusEncoder *encoder = opus_encoder_create(sampleRate, 1, OPUS_APPLICATION_VOIP, &error);
    if (error != OPUS_OK || !encoder)
        return {};
    opus_encoder_ctl(encoder, OPUS_SET_BITRATE(24000));
    opus_encoder_ctl(encoder, OPUS_SET_VBR(0));
    QByteArray packets;
    std::array<opus_int16, frameSamples> pcm{};
    std::array<unsigned char, packetBytes> packet{};
    for (int frame = 0; frame < 10; ++frame) {
        for (int i = 0; i < frameSamples; ++i) {
            const double t = double(frame * frameSamples + i) / sampleRate;
            pcm[size_t(i)] = opus_int16(8000.0 * std::sin(2.0 * std::numbers::pi * 440.0 * t));
        }
        const opus_int32 size = opus_encode(encoder, pcm.data(), frameSamples, packet.data(), packetBytes);
        if (size != packetBytes) {
            packets.clear();
            break;
        }
        packets.append(reinterpret_cast<const char *>(packet.data()), size);
    }
    opus_encoder_destroy(encoder);
    return packets;
}

} // namespace

QByteArray ToneSynthesis::synthesize(const QString &, const QString &, const QString &)
{
    if (m_packets.isEmpty())
        m_packets = encodeTone();
    return m_packets;
}
