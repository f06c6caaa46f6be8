#pragma once

#include <QByteArrayView>

#include <memory>
#include <vector>

// Decodes an Ogg Opus stream as its bytes arrive, in pieces of any size:
// 48 kHz mono samples (channels mixed down, full scale 1.0, the header's
// output gain applied, the pre-skip dropped), as a whole-stream reader
// gives them.
class OggOpusStreamDecoder
{
public:
    OggOpusStreamDecoder();
    ~OggOpusStreamDecoder();
    OggOpusStreamDecoder(const OggOpusStreamDecoder &) = delete;
    OggOpusStreamDecoder &operator=(const OggOpusStreamDecoder &) = delete;

    // Takes the next bytes and decodes every packet they complete. False
    // once the stream is found broken (nothing more is decoded then).
    bool feed(QByteArrayView bytes);

    [[nodiscard]] const std::vector<float> &samples() const { return m_samples; }
    [[nodiscard]] bool broken() const { return m_broken; }

private:
    struct Ogg;
    bool takePacket(const unsigned char *data, long size);

    std::unique_ptr<Ogg> m_ogg;
    std::vector<float> m_samples;
    long m_packets = 0;
    int m_channels = 0;
    int m_preSkipLeft = 0;
    float m_gain = 1.0f;
    bool m_broken = false;
};
