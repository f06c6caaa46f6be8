#include "oggopusstream.h"

#include "servicelogging.h"

#include <ogg/ogg.h>
#include <opus.h>

#include <cmath>
#include <cstring>

namespace {
constexpr int maxFrameSamples = 5760; // 120 ms at 48 kHz, the longest Opus packet
constexpr int headGainOffset = 16;    // Q7.8 dB, little-endian, in the identification header
constexpr int headPreSkipOffset = 10;
constexpr int headChannelsOffset = 9;
constexpr long headMinSize = 19;

int readLe16(const unsigned char *p)
{
    return p[0] | (p[1] << 8);
}
} // namespace

struct OggOpusStreamDecoder::Ogg
{
    ogg_sync_state sync{};
    ogg_stream_state stream{};
    bool streamStarted = false;
    OpusDecoder *opus = nullptr;

    Ogg() { ogg_sync_init(&sync); }
    ~Ogg()
    {
        if (opus)
            opus_decoder_destroy(opus);
        if (streamStarted)
            ogg_stream_clear(&stream);
        ogg_sync_clear(&sync);
    }
};

OggOpusStreamDecoder::OggOpusStreamDecoder() : m_ogg(std::make_unique<Ogg>())
{}
OggOpusStreamDecoder::~OggOpusStreamDecoder() = default;

bool OggOpusStreamDecoder::feed(QByteArrayView bytes)
{
    if (m_broken)
        return false;
    if (!bytes.isEmpty()) {
        char *buffer = ogg_sync_buffer(&m_ogg->sync, long(bytes.size()));
        if (!buffer) {
            m_broken = true;
            return false;
        }
        std::memcpy(buffer, bytes.data(), size_t(bytes.size()));
        ogg_sync_wrote(&m_ogg->sync, long(bytes.size()));
    }
    ogg_page page;
    for (;;) {
        const int result = ogg_sync_pageout(&m_ogg->sync, &page);
        if (result == 0)
            return true; // needs more bytes
        if (result < 0) {
            qCWarning(lcLocalService) << "Ogg stream out of sync after" << m_packets << "packets";
            m_broken = true;
            return false;
        }
        if (!m_ogg->streamStarted) {
            ogg_stream_init(&m_ogg->stream, ogg_page_serialno(&page));
            m_ogg->streamStarted = true;
        }
        if (ogg_stream_pagein(&m_ogg->stream, &page) != 0)
            continue; // another logical stream: not ours
        ogg_packet packet;
        while (ogg_stream_packetout(&m_ogg->stream, &packet) == 1) {
            if (!takePacket(packet.packet, packet.bytes)) {
                m_broken = true;
                return false;
            }
        }
    }
}

bool OggOpusStreamDecoder::takePacket(const unsigned char *data, long size)
{
    const long index = m_packets++;
    if (index == 0) {
        if (size < headMinSize || std::memcmp(data, "OpusHead", 8) != 0) {
            qCWarning(lcLocalService) << "the stream does not start with an Opus identification header";
            return false;
        }
        m_channels = data[headChannelsOffset];
        m_preSkipLeft = readLe16(data + headPreSkipOffset);
        const auto gain = static_cast<qint16>(readLe16(data + headGainOffset));
        m_gain = float(std::pow(10.0, double(gain) / (20.0 * 256.0)));
        int error = OPUS_OK;
        m_ogg->opus = opus_decoder_create(48000, m_channels == 2 ? 2 : 1, &error);
        if (error != OPUS_OK || m_channels < 1 || m_channels > 2) {
            qCWarning(lcLocalService) << "cannot decode" << m_channels << "channels";
            return false;
        }
        return true;
    }
    if (index == 1)
        return size >= 8 && std::memcmp(data, "OpusTags", 8) == 0;
    float pcm[maxFrameSamples * 2];
    const int frames = opus_decode_float(m_ogg->opus, data, opus_int32(size), pcm, maxFrameSamples, 0);
    if (frames < 0) {
        qCDebug(lcLocalService) << "packet" << index << "does not decode:" << opus_strerror(frames);
        return true; // a whole-stream reader skips it too
    }
    for (int i = 0; i < frames; ++i) {
        float sum = 0.0f;
        for (int c = 0; c < m_channels; ++c)
            sum += pcm[i * m_channels + c];
        if (m_preSkipLeft > 0) {
            --m_preSkipLeft;
            continue;
        }
        m_samples.push_back(m_gain * sum / float(m_channels));
    }
    return true;
}
