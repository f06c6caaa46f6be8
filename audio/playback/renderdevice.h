#pragma once

#include <chrono>
#include <functional>
#include <memory>

class AudioOutput;
class RenderBackend;
class speaker;

// The process-wide render device and the speaker it reports to. Used on the
// shared worker thread.
namespace playback {

using BackendFactory = std::function<std::unique_ptr<RenderBackend>()>;

// Replaces the platform backend for devices created from now on; an empty
// factory restores the platform one.
void setBackendFactory(BackendFactory factory);
// How long devices created from now on may take nothing while playing
// before the playback ends as stalled (deviceStallTimeout by default).
void setStallTimeout(std::chrono::milliseconds timeout);
[[nodiscard]] std::chrono::milliseconds stallTimeout();

// Creates the device if there is none or the current one failed to set up,
// and installs its callbacks: it is fed from the playback state, and the end
// of a run is posted to `target` (held weakly), which replaces any earlier one.
AudioOutput &ensureRenderDevice(speaker *target);
// The current device, or null.
[[nodiscard]] AudioOutput *currentDevice();
// Stops and destroys the current device.
void releaseRenderDevice();

} // namespace playback
