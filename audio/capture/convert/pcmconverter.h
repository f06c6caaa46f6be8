#pragma once

#include <cstdint>
#include <optional>
#include <vector>

// Turns what a capture device delivers in its own mix format into the
// recorder's 48 kHz mono 16-bit PCM: 16-, 24- (packed) or 32-bit integer or
// 32-bit float samples, any number of interleaved channels (averaged into
// one), at any rate (linearly interpolated to 48 kHz, with the position
// carried from one block to the next so that blocks join without a seam).
// Plain C++, so that the Windows layer builds with it on its own.
class PcmConverter
{
public:
    enum class Sample
    {
        Int16,
        Int24,
        Int32,
        Float32
    };

    static constexpr int outputRate = 48000;

    PcmConverter(Sample sample, int channels, int rate);

    // The layout of a device's samples: float or integer, and the bits each
    // takes in the stream (its container); none when this converter cannot
    // read them.
    [[nodiscard]] static std::optional<Sample> sampleOf(bool isFloat, int containerBits);

    // Whether the format is one this converter reads.
    [[nodiscard]] bool isValid() const { return m_valid; }
    [[nodiscard]] int bytesPerFrame() const { return m_bytesPerFrame; }
    // Converts `frames` frames at `data`; the result is valid until the next
    // call. A block of silence is passed as null data.
    [[nodiscard]] const std::vector<std::int16_t> &convert(const void *data, std::uint32_t frames);
    // Forgets the position between blocks (a new recording).
    void reset();

private:
    [[nodiscard]] float monoSample(const unsigned char *frame) const;

    Sample m_sample;
    int m_channels;
    int m_rate;
    int m_bytesPerFrame = 0;
    bool m_valid = false;
    // Resampling: the last input sample of the previous block and the
    // position of the next output sample, in input samples from it.
    float m_previous = 0.0f;
    double m_position = 0.0;
    bool m_started = false;
    std::vector<float> m_mono;
    std::vector<std::int16_t> m_output;
};
