#pragma once

#include "renderbackend.h"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

// What a scripted device does and what was rendered to it. Shared between the
// test (or benchmark) that writes the script and the backends made from it,
// which may be replaced along with their render device.
class RenderScript
{
public:
    // One wake-up of the render thread: a period offering `frames` frames,
    // a wait that times out, or a failure of the named operation.
    enum class Step
    {
        Period,
        Timeout,
        WaitFailure,
        QueryFailure,
        AcquireFailure,
        DeviceGone // the query fails with the script's device fault
    };

    void addPeriods(std::uint32_t frames, int count = 1);
    void add(Step step);
    // With the script used up, offer periods of `frames` frames forever
    // (0: block until woken or given more steps, like a device with no space).
    void setEndlessPeriods(std::uint32_t frames);
    // With the script used up, waits time out as a device that stopped
    // taking samples does (instead of blocking until woken).
    void setUnresponsive(bool unresponsive);
    void failNextOpens(int count);
    void failNextStarts(int count);
    // Why failing opens and starts fail, and what a DeviceGone step means.
    void setFault(DeviceFault fault);
    // What isStillDefault() answers (false: the user chose another output).
    void setStillDefault(bool isDefault);

    [[nodiscard]] std::vector<std::int16_t> rendered() const;
    [[nodiscard]] std::vector<std::uint32_t> releasedPeriods() const;
    [[nodiscard]] int opens() const;
    [[nodiscard]] int starts() const;
    [[nodiscard]] int stops() const;
    [[nodiscard]] int closes() const;
    [[nodiscard]] std::size_t stepsLeft() const;
    // Blocks until every scripted step has been taken and the render thread
    // waits for more, or it has stopped; false after `timeoutMs`.
    bool waitUntilUsedUp(int timeoutMs) const;

private:
    friend class ScriptedRenderBackend;
    static constexpr std::uint32_t bufferSize = 48000;

    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    std::deque<Step> steps;
    std::deque<std::uint32_t> periodFrames;
    std::uint32_t endlessFrames = 0;
    bool unresponsive = false;
    std::uint32_t offered = 0;
    bool woken = false;
    bool waiting = false;
    int failOpens = 0;
    int failStarts = 0;
    DeviceFault fault = DeviceFault::Failed;
    bool stillDefault = true;
    int openCount = 0;
    int startCount = 0;
    int stopCount = 0;
    int closeCount = 0;
    std::vector<std::int16_t> scratch;
    std::vector<std::int16_t> output;
    std::vector<std::uint32_t> periods;
};

// A render backend that follows a RenderScript instead of a device.
class ScriptedRenderBackend final : public RenderBackend
{
public:
    explicit ScriptedRenderBackend(std::shared_ptr<RenderScript> script);

    [[nodiscard]] bool open() override;
    void close() override;
    [[nodiscard]] bool isStillDefault() override;
    [[nodiscard]] bool start() override;
    void stop() override;
    [[nodiscard]] bool bufferFrames(std::uint32_t &frames) override;
    [[nodiscard]] WaitResult wait(std::chrono::milliseconds timeout) override;
    void wake() override;
    [[nodiscard]] bool queuedFrames(std::uint32_t &frames) override;
    [[nodiscard]] std::int16_t *acquire(std::uint32_t frames) override;
    [[nodiscard]] bool release(std::uint32_t frames) override;

private:
    std::shared_ptr<RenderScript> m_script;
};
