#pragma once

#include <atomic>

// Why a sound device could not be set up or stopped working, as far as the
// user can act on it. The same for capture and render and every back end.
enum class DeviceFault
{
    None,    // nothing failed
    Missing, // no such device: none plugged in, enabled or configured
    Lost,    // the device went away while in use (unplugged, disabled)
    Denied,  // the system refuses access (the privacy settings)
    InUse,   // another program holds the device exclusively
    Stalled, // open, but it took or gave nothing for deviceStallTimeout
    Failed,  // any other failure
};

// Whether the device is done for: gone, refused or taken. Anything else (a
// passing error) may be tried again on the same device.
[[nodiscard]] constexpr bool endsDevice(DeviceFault fault)
{
    return fault != DeviceFault::None && fault != DeviceFault::Failed;
}

// The "reason" that goes with AUDIOERROR to the interface; null when there is
// nothing more specific to say than that the device failed.
[[nodiscard]] constexpr const char *faultReason(DeviceFault fault)
{
    switch (fault) {
    case DeviceFault::Missing:
        return "missing";
    case DeviceFault::Lost:
    case DeviceFault::Stalled: // to the user, a device that stopped is gone
        return "lost";
    case DeviceFault::Denied:
        return "permission";
    case DeviceFault::InUse:
        return "inUse";
    case DeviceFault::None:
    case DeviceFault::Failed:
        break;
    }
    return nullptr;
}

// The fault behind a back end's most recent failure, noted on whichever
// thread failed (set-up on the worker, a packet on the device thread) and
// read by the device logic after the failing call returned.
class FaultRecord
{
public:
    [[nodiscard]] DeviceFault fault() const { return m_fault.load(std::memory_order_acquire); }

protected:
    void noteFault(DeviceFault fault) { m_fault.store(fault, std::memory_order_release); }

private:
    std::atomic<DeviceFault> m_fault{DeviceFault::None};
};
