#pragma once

#include <optional>

namespace tolka::cloud {

// One of the ways the client saves time, which benchmarks and tests turn off
// to compare: read from its environment variable at first use ("0" off, "1"
// on, anything else or unset its default) and settable at run time. GUI thread.
class SpeedSwitch
{
public:
    constexpr SpeedSwitch(const char *variable, bool byDefault) : variable(variable), byDefault(byDefault) {}

    [[nodiscard]] bool on() const;
    void set(bool on) { value = on; }

private:
    const char *variable;
    bool byDefault;
    mutable std::optional<bool> value;
};

} // namespace tolka::cloud
