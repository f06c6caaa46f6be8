#include "pcmconverter.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

int bytesOf(PcmConverter::Sample sample)
{
    switch (sample) {
    case PcmConverter::Sample::Int16:
        return 2;
    case PcmConverter::Sample::Int24:
        return 3;
    case PcmConverter::Sample::Int32:
    case PcmConverter::Sample::Float32:
        return 4;
    }
    return 0;
}

std::int16_t toInt16(float value)
{
    // The inverse of reading 16-bit samples (divided by 32768), so that they
    // come back unchanged; what goes beyond full scale (a float mix may) is
    // clipped.
    const long scaled = std::lround(double(value) * 32768.0);
    return static_cast<std::int16_t>(std::clamp(scaled, -32768L, 32767L));
}

} // namespace

std::optional<PcmConverter::Sample> PcmConverter::sampleOf(bool isFloat, int containerBits)
{
    if (isFloat)
        return containerBits == 32 ? std::optional(Sample::Float32) : std::nullopt;
    switch (containerBits) {
    case 16:
        return Sample::Int16;
    case 24:
        return Sample::Int24;
    case 32:
        return Sample::Int32;
    default:
        return std::nullopt;
    }
}

PcmConverter::PcmConverter(Sample sample, int channels, int rate)
    : m_sample(sample), m_channels(channels), m_rate(rate)
{
    const int bytes = bytesOf(sample);
    m_valid = bytes > 0 && channels > 0 && channels <= 64 && rate >= 8000 && rate <= 384000;
    m_bytesPerFrame = m_valid ? bytes * channels : 0;
}

float PcmConverter::monoSample(const unsigned char *frame) const
{
    float sum = 0.0f;
    for (int c = 0; c < m_channels; ++c) {
        const unsigned char *s = frame + c * (m_bytesPerFrame / m_channels);
        switch (m_sample) {
        case Sample::Int16: {
            std::int16_t v = 0;
            std::memcpy(&v, s, sizeof v);
            sum += float(v) / 32768.0f;
            break;
        }
        case Sample::Int24: {
            // Little-endian, sign taken from the top byte.
            const std::int32_t v = std::int32_t(std::uint32_t(s[0]) << 8 | std::uint32_t(s[1]) << 16 |
                                                std::uint32_t(s[2]) << 24) >>
                                   8;
            sum += float(v) / 8388608.0f;
            break;
        }
        case Sample::Int32: {
            std::int32_t v = 0;
            std::memcpy(&v, s, sizeof v);
            sum += float(double(v) / 2147483648.0);
            break;
        }
        case Sample::Float32: {
            float v = 0.0f;
            std::memcpy(&v, s, sizeof v);
            sum += std::isfinite(v) ? v : 0.0f;
            break;
        }
        }
    }
    return sum / float(m_channels);
}

const std::vector<std::int16_t> &PcmConverter::convert(const void *data, std::uint32_t frames)
{
    m_output.clear();
    if (!m_valid || frames == 0)
        return m_output;
    m_mono.resize(frames);
    const auto *bytes = static_cast<const unsigned char *>(data);
    for (std::uint32_t i = 0; i < frames; ++i)
        m_mono[i] = bytes ? monoSample(bytes + std::size_t(i) * std::size_t(m_bytesPerFrame)) : 0.0f;

    if (m_rate == outputRate) {
        m_output.reserve(frames);
        for (float v : m_mono)
            m_output.push_back(toInt16(v));
        return m_output;
    }
    // Output sample n lies at input position n * rate / 48000; positions are
    // counted from the previous block's last sample, which is index -1 here.
    if (!m_started) {
        m_previous = m_mono[0];
        m_position = 1.0;
        m_started = true;
    }
    const double step = double(m_rate) / outputRate;
    m_output.reserve(std::size_t(double(frames) / step) + 2);
    while (m_position <= double(frames)) {
        const double at = m_position - 1.0; // index into this block, -1 = previous
        const auto below = static_cast<std::int64_t>(std::floor(at));
        const float fraction = float(at - double(below));
        const float a = below < 0 ? m_previous : m_mono[std::size_t(below)];
        const float b = below + 1 < std::int64_t(frames) ? m_mono[std::size_t(below + 1)] : a;
        m_output.push_back(toInt16(a + (b - a) * fraction));
        m_position += step;
    }
    m_position -= double(frames);
    m_previous = m_mono[frames - 1];
    return m_output;
}

void PcmConverter::reset()
{
    m_previous = 0.0f;
    m_position = 0.0;
    m_started = false;
}
