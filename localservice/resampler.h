#pragma once

#include <QtTypes>

#include <cstddef>
#include <span>
#include <vector>

// Sample-rate conversion of mono PCM by windowed-sinc interpolation, with
// the cut-off below the lower of the two Nyquist frequencies, so a
// down-conversion does not alias. Good enough for speech.
[[nodiscard]] std::vector<float> resample(std::span<const float> input, int fromRate, int toRate);

// For audio that grows: output samples [first, end) of resample(input),
// computed alone, and how many leading output samples no later input can
// change any more (those whose taps all lie in the first inputSize samples).
[[nodiscard]] std::vector<float> resampleRange(std::span<const float> input, int fromRate, int toRate,
                                               size_t first, size_t end);
[[nodiscard]] size_t settledOutputs(size_t inputSize, int fromRate, int toRate);

// Full scale 1.0 to 16-bit samples, clipped.
[[nodiscard]] std::vector<qint16> toPcm16(std::span<const float> samples);
