#pragma once

#include <chrono>

// How a device thread's wait for its buffer ended, the same for capture and
// render back ends: data or space ready (or woken), the time-out, a failure.
enum class DeviceWait
{
    Ready,
    TimedOut,
    Failed
};

// How long a running device may go without taking or giving a sample before
// it counts as stalled (DeviceFault::Stalled): a device thread whose waits
// only time out, or whose device never has data or room, ends its run then.
// Real devices move every 10 ms; a couple of seconds rules out any hiccup.
inline constexpr std::chrono::milliseconds deviceStallTimeout{2000};
