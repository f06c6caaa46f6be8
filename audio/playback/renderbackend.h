#pragma once

#include <chrono>
#include <cstdint>
#include <memory>

// The platform operations a render device needs: a shared-mode stream to the
// default output at 48 kHz mono 16-bit, a buffer-ready wait with a time-out
// that wake() interrupts, queries of the buffer size and of the frames still
// queued, and period-wise borrowing and releasing of buffer space.
//
// Free of Qt so that the Windows layer compiles on its own. Set-up failures
// are written to the standard error stream by the implementation.
class RenderBackend
{
public:
    enum class Wait
    {
        Ready,
        TimedOut,
        Failed
    };

    RenderBackend() = default;
    RenderBackend(const RenderBackend &) = delete;
    RenderBackend &operator=(const RenderBackend &) = delete;
    virtual ~RenderBackend() = default;

    // Opens and configures the device; on failure everything is released.
    virtual bool open() = 0;
    // Releases what open acquired. Only called after a successful open.
    virtual void close() = 0;
    virtual bool start() = 0;
    virtual void stop() = 0;

    virtual bool bufferFrames(std::uint32_t &frames) = 0;
    virtual Wait waitReady(std::chrono::milliseconds timeout) = 0;
    // Makes a pending or the next waitReady return at once. Any thread.
    virtual void wake() = 0;
    virtual bool queuedFrames(std::uint32_t &frames) = 0;
    // Borrows `frames` frames of device memory; nullptr on failure.
    virtual std::int16_t *acquire(std::uint32_t frames) = 0;
    virtual bool release(std::uint32_t frames) = 0;
};

// The implementation of this platform: WASAPI on Windows, ALSA elsewhere.
[[nodiscard]] std::unique_ptr<RenderBackend> makePlatformRenderBackend();
