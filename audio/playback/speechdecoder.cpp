#include "speechdecoder.h"

#include "playbacklogging.h"
#include "playbackstate.h"

#include <opus.h>

#include <memory>

namespace {
struct DecoderDeleter
{
    void operator()(OpusDecoder *decoder) const { opus_decoder_destroy(decoder); }
};
} // namespace

std::optional<QByteArray> decodeOpusPackets(const QByteArray &reply)
{
    using namespace speechDecoding;
    int error = OPUS_OK;
    std::unique_ptr<OpusDecoder, DecoderDeleter> decoder(opus_decoder_create(sampleRate, 1, &error));
    if (!decoder || error != OPUS_OK) {
        qCWarning(lcPlayback) << "cannot create an Opus decoder:" << opus_strerror(error);
        return std::nullopt;
    }
    if (reply.isEmpty())
        return std::nullopt;
    opus_decoder_ctl(decoder.get(), OPUS_SET_COMPLEXITY(10));

    // 960 samples per 60-byte packet: 32 bytes of PCM per byte of reply. The
    // extra 1920 bytes let the last packet be decoded with the full 1920-sample
    // limit without running past the end.
    constexpr qsizetype sampleBytes = 2;
    QByteArray pcm(reply.size() * 32 + maxFrameSamples * sampleBytes / 2, Qt::Uninitialized);
    qsizetype written = 0; // samples
    qsizetype skipped = 0;
    const auto *in = reinterpret_cast<const unsigned char *>(reply.constData());
    for (qsizetype at = 0; reply.size() - at >= packetBytes; at += packetBytes) {
        // A packet may legally hold up to 40 ms within the limit; make room
        // rather than let the decoder write past the buffer.
        const qsizetype needed = (written + maxFrameSamples) * sampleBytes;
        if (needed > pcm.size())
            pcm.resize(needed);
        auto *out = reinterpret_cast<opus_int16 *>(pcm.data()) + written;
        const int samples = opus_decode(decoder.get(), in + at, static_cast<opus_int32>(packetBytes), out,
                                        maxFrameSamples, 0);
        if (samples > 0)
            written += samples;
        else
            ++skipped;
    }
    if (skipped > 0)
        qCWarning(lcPlayback) << "skipped" << skipped << "undecodable packets of"
                              << reply.size() / packetBytes;
    if (reply.size() % packetBytes != 0)
        qCDebug(lcPlayback) << "ignored a trailing partial packet of" << reply.size() % packetBytes
                            << "bytes";
    pcm.truncate(written * sampleBytes);
    pcm.squeeze();
    return pcm;
}

void decodeSpeech(const QByteArray &reply)
{
    std::optional<QByteArray> pcm = decodeOpusPackets(reply);
    if (!pcm) {
        qCDebug(lcPlayback) << "empty or undecodable reply; keeping the previous speech";
        return;
    }
    playbackState::instance().replaceSpeech(std::move(*pcm));
}
