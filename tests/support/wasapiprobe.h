#pragma once

// What the Windows probes (run under Wine by the windows tests) share: their
// options, the fault names, and raw 16-bit files. Plain C++, no Qt.
#include "devicefault.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace wasapiprobe {

// "--name value" options; a flag given without a value reads as "".
class Options
{
public:
    Options(int argc, char **argv) : m_argc(argc), m_argv(argv) {}
    [[nodiscard]] std::optional<std::string> value(const char *name) const
    {
        for (int i = 1; i < m_argc; ++i)
            if (std::strcmp(m_argv[i], name) == 0)
                return i + 1 < m_argc ? std::string(m_argv[i + 1]) : std::string();
        return std::nullopt;
    }

private:
    int m_argc;
    char **m_argv;
};

[[nodiscard]] inline const char *faultName(DeviceFault fault)
{
    const char *reason = faultReason(fault);
    return reason ? reason : fault == DeviceFault::None ? "none" : "failed";
}

// The exit code of a probe whose device must fail to set up with the fault
// named `expected`: 0 when it does.
template <typename Device> int expectSetUpFault(Device &device, const std::string &expected)
{
    if (device.initialize()) {
        std::printf("the device was set up, where %s was expected\n", expected.c_str());
        return 1;
    }
    std::printf("set-up failed: %s\n", faultName(device.fault()));
    return expected == faultName(device.fault()) ? 0 : 1;
}

// A file of 16-bit little-endian samples; empty when it cannot be read.
[[nodiscard]] inline std::vector<std::int16_t> readSamples(const std::string &path)
{
    std::vector<std::int16_t> samples;
    if (std::FILE *file = std::fopen(path.c_str(), "rb")) {
        std::int16_t block[4096];
        std::size_t got = 0;
        while ((got = std::fread(block, sizeof block[0], 4096, file)) > 0)
            samples.insert(samples.end(), block, block + got);
        std::fclose(file);
    }
    return samples;
}

inline bool writeSamples(const std::string &path, const std::vector<std::int16_t> &samples)
{
    std::FILE *file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    const bool written =
        std::fwrite(samples.data(), sizeof samples[0], samples.size(), file) == samples.size();
    return std::fclose(file) == 0 && written;
}

} // namespace wasapiprobe
