#pragma once

#include <span>
#include <vector>

// Sample-rate conversion of mono PCM by windowed-sinc interpolation, with
// the cut-off below the lower of the two Nyquist frequencies, so a
// down-conversion does not alias. Good enough for speech; not streaming.
[[nodiscard]] std::vector<float> resample(std::span<const float> input, int fromRate, int toRate);
