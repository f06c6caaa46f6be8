#pragma once

// How a device thread's wait for its buffer ended, the same for capture and
// render back ends: data or space ready (or woken), the time-out, a failure.
enum class DeviceWait
{
    Ready,
    TimedOut,
    Failed
};
