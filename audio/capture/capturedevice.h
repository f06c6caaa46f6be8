#pragma once

#include <chrono>
#include <functional>
#include <memory>

class AudioInput;
class CaptureBackend;
class recorder;

// The process-wide capture device and the recorder it feeds. Used on the
// shared worker thread.
namespace capture {

using BackendFactory = std::function<std::unique_ptr<CaptureBackend>()>;

// Replaces the platform backend for devices created from now on; an empty
// factory restores the platform one.
void setBackendFactory(BackendFactory factory);
// How long devices created from now on may deliver nothing while recording
// before the recording ends as stalled (deviceStallTimeout by default).
void setStallTimeout(std::chrono::milliseconds timeout);
[[nodiscard]] std::chrono::milliseconds stallTimeout();

// Creates the device if there is none or the current one failed to set up,
// and installs its callbacks: captured blocks are posted as pushSamples, and
// the end of a run as finishStream, to the attached recorder.
AudioInput &ensureCaptureDevice();
// The current device, or null.
[[nodiscard]] AudioInput *currentDevice();
// Directs the device's posts to `target` (held weakly).
void attach(recorder *target);
// Stops and destroys the current device.
void releaseCaptureDevice();

} // namespace capture
