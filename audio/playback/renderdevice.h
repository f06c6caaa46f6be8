#pragma once

#include "renderbackend.h"

#include <functional>
#include <memory>

class AudioOutput;
class speaker;

// The process-wide render device, used on the worker thread only.

// Returns the device, making a new one (and dropping the previous) when there
// is none or the existing one failed to set up. Its callbacks feed it from the
// playback state and report to `target`, which replaces any earlier target.
AudioOutput &ensureRenderDevice(speaker *target);

// The current device, or nullptr.
[[nodiscard]] AudioOutput *renderDevice();

// Stops and destroys the current device.
void releaseRenderDevice();

// Chooses how devices are made; an empty factory restores the platform's.
using RenderBackendFactory = std::function<std::unique_ptr<RenderBackend>()>;
void setRenderBackendFactory(RenderBackendFactory factory);
