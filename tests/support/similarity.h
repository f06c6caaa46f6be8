#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

// Measures of how alike two signals are, for checking that audio survives
// encoding and decoding: the envelope (RMS per window) and normalised
// correlations at a range of lags.
namespace similarity {

inline std::vector<double> envelope(const std::vector<double> &signal, std::size_t window)
{
    std::vector<double> result;
    for (std::size_t at = 0; at + window <= signal.size(); at += window) {
        double energy = 0;
        for (std::size_t i = at; i < at + window; ++i)
            energy += signal[i] * signal[i];
        result.push_back(std::sqrt(energy / double(window)));
    }
    return result;
}

// Pearson correlation of a[i] and b[i + lag] over their overlap.
inline double correlation(const std::vector<double> &a, const std::vector<double> &b, long lag)
{
    double sa = 0, sb = 0, saa = 0, sbb = 0, sab = 0;
    long n = 0;
    for (long i = 0; i < long(a.size()); ++i) {
        const long j = i + lag;
        if (j < 0 || j >= long(b.size()))
            continue;
        sa += a[std::size_t(i)];
        sb += b[std::size_t(j)];
        saa += a[std::size_t(i)] * a[std::size_t(i)];
        sbb += b[std::size_t(j)] * b[std::size_t(j)];
        sab += a[std::size_t(i)] * b[std::size_t(j)];
        ++n;
    }
    if (n < 2)
        return 0;
    const double cov = sab - sa * sb / double(n);
    const double va = saa - sa * sa / double(n);
    const double vb = sbb - sb * sb / double(n);
    return (va <= 0 || vb <= 0) ? 0 : cov / std::sqrt(va * vb);
}

struct Peak
{
    long lag = 0;
    double value = -1;
};

// The lag in [-maxLag, maxLag] at which b best matches a.
inline Peak bestLag(const std::vector<double> &a, const std::vector<double> &b, long maxLag)
{
    Peak peak;
    for (long lag = -maxLag; lag <= maxLag; ++lag) {
        const double value = correlation(a, b, lag);
        if (value > peak.value)
            peak = {lag, value};
    }
    return peak;
}

inline double rms(const std::vector<double> &signal)
{
    double energy = 0;
    for (double v : signal)
        energy += v * v;
    return signal.empty() ? 0 : std::sqrt(energy / double(signal.size()));
}

} // namespace similarity
