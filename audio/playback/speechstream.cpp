#include "speechstream.h"

#include "playbacklogging.h"
#include "speechdecoder.h"

#include <opus.h>

void SpeechStream::Deleter::operator()(OpusDecoder *decoder) const
{
    opus_decoder_destroy(decoder);
}

SpeechStream::SpeechStream()
{
    using namespace speechDecoding;
    int error = OPUS_OK;
    m_decoder.reset(opus_decoder_create(sampleRate, 1, &error));
    if (!m_decoder || error != OPUS_OK) {
        qCWarning(lcPlayback) << "cannot create an Opus decoder:" << opus_strerror(error);
        m_decoder.reset();
        return;
    }
    opus_decoder_ctl(m_decoder.get(), OPUS_SET_COMPLEXITY(10));
}

SpeechStream::~SpeechStream() = default;

void SpeechStream::feed(QByteArrayView bytes)
{
    if (bytes.isEmpty())
        return;
    // Drop what was decoded before growing, so the input never holds more
    // than what is still to decode.
    if (m_read > 0) {
        m_input.remove(0, m_read);
        m_read = 0;
    }
    m_input.append(bytes);
}

qsizetype SpeechStream::wholePackets() const
{
    return (m_input.size() - m_read) / speechDecoding::packetBytes;
}

qsizetype SpeechStream::partialBytes() const
{
    return (m_input.size() - m_read) % speechDecoding::packetBytes;
}

QByteArray SpeechStream::decode(qsizetype packets)
{
    using namespace speechDecoding;
    const qsizetype count = std::min(packets, wholePackets());
    if (count <= 0)
        return {};
    if (m_refused) {
        m_read += count * packetBytes;
        return {};
    }
    if (!m_decoder) {
        // Nothing can decode them; taken all the same, so that the reply ends.
        m_read += count * packetBytes;
        m_skipped += count;
        return {};
    }
    // 960 samples per 60-byte packet: 32 bytes of PCM per byte of reply. The
    // extra 1920 bytes let the last packet be decoded with the full 1920-sample
    // limit without running past the end.
    constexpr qsizetype sampleBytes = 2;
    QByteArray pcm(count * packetBytes * 32 + maxFrameSamples * sampleBytes / 2, Qt::Uninitialized);
    qsizetype written = 0; // samples
    const auto *in = reinterpret_cast<const unsigned char *>(m_input.constData()) + m_read;
    for (qsizetype p = 0; p < count; ++p) {
        // A packet may legally hold up to 40 ms within the limit; make room
        // rather than let the decoder write past the buffer.
        const qsizetype needed = (written + maxFrameSamples) * sampleBytes;
        if (needed > pcm.size())
            pcm.resize(needed);
        auto *out = reinterpret_cast<opus_int16 *>(pcm.data()) + written;
        const int samples = opus_decode(m_decoder.get(), in + p * packetBytes,
                                        static_cast<opus_int32>(packetBytes), out, maxFrameSamples, 0);
        if (samples > 0) {
            written += samples;
            ++m_decoded;
        } else {
            ++m_skipped;
        }
        if (judgedPackets() >= refusalMinimum)
            judgeEnd();
        if (m_refused) {
            m_read += count * packetBytes;
            return {};
        }
    }
    m_read += count * packetBytes;
    pcm.truncate(written * sampleBytes);
    pcm.squeeze();
    return pcm;
}

void SpeechStream::judgeEnd()
{
    if (m_skipped * refusalShare > judgedPackets())
        m_refused = true;
}
