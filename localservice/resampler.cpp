#include "resampler.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <numeric>
#include <optional>

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

namespace {

struct Ratio
{
    long up = 1;
    long down = 1;
    double cutoff = 1.0; // of the input's Nyquist
    long reach = 0;      // input samples each side of an output sample
};

std::optional<Ratio> ratioOf(int fromRate, int toRate)
{
    if (fromRate <= 0 || toRate <= 0)
        return std::nullopt;
    // Output sample n sits at input position n * down / up, so there are
    // `up` distinct fractional phases.
    const long g = std::gcd(fromRate, toRate);
    Ratio r;
    r.up = toRate / g;
    r.down = fromRate / g;
    if (r.up > maxPhases)
        return std::nullopt;
    r.cutoff = 0.95 * std::min(1.0, double(r.up) / double(r.down));
    r.reach = long(std::ceil(halfTaps / r.cutoff));
    return r;
}

} // namespace

std::vector<float> resample(std::span<const float> input, int fromRate, int toRate)
{
    if (fromRate <= 0 || toRate <= 0 || input.empty())
        return {};
    if (fromRate == toRate)
        return {input.begin(), input.end()};
    const auto r = ratioOf(fromRate, toRate);
    if (!r)
        return {};
    return resampleRange(input, fromRate, toRate, 0, size_t(long(input.size()) * r->up / r->down));
}

size_t settledOutputs(size_t inputSize, int fromRate, int toRate)
{
    const auto r = ratioOf(fromRate, toRate);
    if (!r || long(inputSize) <= r->reach)
        return 0;
    // Output n is settled when its last tap, at n * down / up + reach, is in.
    return size_t((long(inputSize) - 1 - r->reach) * r->up / r->down + 1);
}

std::vector<float> resampleRange(std::span<const float> input, int fromRate, int toRate, size_t first,
                                 size_t end)
{
    const auto r = ratioOf(fromRate, toRate);
    if (!r || input.empty() || end <= first)
        return {};
    const long up = r->up;
    const long down = r->down;
    const double cutoff = r->cutoff;
    const long reach = r->reach;
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
    std::vector<float> output(end - first);
    for (size_t n = first; n < end; ++n) {
        const long position = long(n) * down;
        const long base = position / up;
        const long phase = position % up;
        const float *kernel = kernels.data() + phase * width;
        const long firstTap = std::max(0L, reach - base);
        const long lastTap = std::min(width - 1, inputSize - 1 - base + reach);
        float sum = 0.0f;
        for (long j = firstTap; j <= lastTap; ++j)
            sum += input[size_t(base - reach + j)] * kernel[j];
        output[n - first] = sum;
    }
    return output;
}

std::vector<qint16> toPcm16(std::span<const float> samples)
{
    std::vector<qint16> pcm(samples.size());
    std::ranges::transform(samples, pcm.begin(), [](float s) {
        return qint16(std::clamp(std::lround(s * 32767.0f), -32768L, 32767L));
    });
    return pcm;
}
