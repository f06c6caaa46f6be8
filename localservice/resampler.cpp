#include "resampler.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <numeric>

namespace {

// Zero crossings of the sinc on each side of an output sample.
constexpr int halfTaps = 16;
// Rate pairs needing more distinct kernel phases than this are refused.
constexpr long maxPhases = 4096;

double blackman(double x) // x in [-1, 1]
{
    const double t = std::numbers::pi * (x + 1.0);
    return 0.42 - 0.5 * std::cos(t) + 0.08 * std::cos(2.0 * t);
}

} // namespace

std::vector<float> resample(std::span<const float> input, int fromRate, int toRate)
{
    if (fromRate <= 0 || toRate <= 0 || input.empty())
        return {};
    if (fromRate == toRate)
        return {input.begin(), input.end()};
    // Output sample n sits at input position n * up / down's inverse: at
    // n * down / up, so there are `up` distinct fractional phases.
    const long g = std::gcd(fromRate, toRate);
    const long up = toRate / g;
    const long down = fromRate / g;
    if (up > maxPhases)
        return {};
    const double cutoff = 0.95 * std::min(1.0, double(up) / double(down)); // of the input's Nyquist
    const auto reach = long(std::ceil(halfTaps / cutoff));                 // input samples each side
    const long width = 2 * reach + 1;

    // One kernel per phase, tap j at input offset j - reach from the base.
    std::vector<float> kernels(size_t(up * width));
    for (long p = 0; p < up; ++p) {
        const double fraction = double(p) / double(up);
        for (long j = 0; j < width; ++j) {
            const double x = (double(j - reach) - fraction) * cutoff;
            const double window = std::abs(x) >= halfTaps ? 0.0 : blackman(x / halfTaps);
            const double sinc = x == 0.0 ? 1.0 : std::sin(std::numbers::pi * x) / (std::numbers::pi * x);
            kernels[size_t(p * width + j)] = float(cutoff * sinc * window);
        }
    }

    const auto inputSize = long(input.size());
    const auto outputSize = size_t(inputSize * up / down);
    std::vector<float> output(outputSize);
    for (size_t n = 0; n < outputSize; ++n) {
        const long position = long(n) * down;
        const long base = position / up;
        const long phase = position % up;
        const float *kernel = kernels.data() + phase * width;
        const long first = std::max(0L, reach - base);
        const long last = std::min(width - 1, inputSize - 1 - base + reach);
        float sum = 0.0f;
        for (long j = first; j <= last; ++j)
            sum += input[size_t(base - reach + j)] * kernel[j];
        output[n] = sum;
    }
    return output;
}
