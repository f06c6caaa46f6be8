#pragma once

#include "devicefault.h"

#include <cerrno>

// What an ALSA error (a negative errno) means for the user.
[[nodiscard]] constexpr DeviceFault alsaFault(int error)
{
    switch (-error) {
    case 0:
        return DeviceFault::None;
    case ENOENT: // no such card or PCM
    case ENXIO:
        return DeviceFault::Missing;
    case ENODEV: // the card went away (a USB headset unplugged)
        return DeviceFault::Lost;
    case EBUSY: // opened by another program that does not share it
        return DeviceFault::InUse;
    case EACCES:
    case EPERM:
        return DeviceFault::Denied;
    default:
        return DeviceFault::Failed;
    }
}
