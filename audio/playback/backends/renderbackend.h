#pragma once

#include "devicefault.h"
#include "devicewait.h"

#include <chrono>
#include <cstdint>
#include <memory>

// The platform operations the render device logic needs: shared access to
// the default output at 48 kHz mono 16-bit, a buffer-ready wake-up with a
// time-out that another thread can trigger, queries of the buffer size and
// of the frames still queued, and period-wise borrowing of buffer space.
// Implementations must not depend on Qt so that the Windows one can be built
// on its own.
class RenderBackend : public FaultRecord
{
public:
    using WaitResult = DeviceWait;

    RenderBackend() = default;
    RenderBackend(const RenderBackend &) = delete;
    RenderBackend &operator=(const RenderBackend &) = delete;
    virtual ~RenderBackend() = default;

    // Opens and configures the device. On failure everything opened so far is
    // released again, fault() says why and, for the failures worth reporting,
    // a line naming the failing call and its result code goes to the error
    // stream. Any failing call below notes its fault the same way.
    [[nodiscard]] virtual bool open() = 0;
    // Releases what a successful open acquired.
    virtual void close() = 0;
    // False once the system's default device is another one than the device
    // opened (the user chose another): the next use should open afresh.
    [[nodiscard]] virtual bool isStillDefault() { return true; }

    [[nodiscard]] virtual bool start() = 0;
    virtual void stop() = 0;

    // Blocks until buffer space is ready, wake() is called or the time-out
    // passes.
    [[nodiscard]] virtual WaitResult wait(std::chrono::milliseconds timeout) = 0;
    // Ends a wait at once; safe from any thread.
    virtual void wake() = 0;

    // The device buffer's size, and the frames of it still to be played.
    [[nodiscard]] virtual bool bufferFrames(std::uint32_t &frames) = 0;
    [[nodiscard]] virtual bool queuedFrames(std::uint32_t &frames) = 0;
    // Borrows `frames` frames of device memory; nullptr on failure.
    [[nodiscard]] virtual std::int16_t *acquire(std::uint32_t frames) = 0;
    [[nodiscard]] virtual bool release(std::uint32_t frames) = 0;
};

// The implementation for the platform the program is built for.
[[nodiscard]] std::unique_ptr<RenderBackend> makePlatformRenderBackend();
