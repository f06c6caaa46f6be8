#include "scriptedcapturebackend.h"

#include <utility>

ScriptedCaptureBackend::ScriptedCaptureBackend(std::deque<WakeUp> script, Options options,
                                               std::shared_ptr<Log> log)
    : script(std::move(script)), options(options), log(log ? std::move(log) : std::make_shared<Log>())
{}

bool ScriptedCaptureBackend::open()
{
    std::lock_guard lock(log->mutex);
    ++log->opens;
    return !options.failOpen;
}

void ScriptedCaptureBackend::close()
{
    std::lock_guard lock(log->mutex);
    ++log->closes;
}

bool ScriptedCaptureBackend::start()
{
    std::lock_guard lock(log->mutex);
    ++log->starts;
    return !options.failStart;
}

void ScriptedCaptureBackend::stop()
{
    std::lock_guard lock(log->mutex);
    ++log->stops;
}

void ScriptedCaptureBackend::feed(WakeUp wakeUp)
{
    {
        std::lock_guard lock(mutex);
        script.push_back(std::move(wakeUp));
    }
    changed.notify_all();
}

CaptureBackend::WaitResult ScriptedCaptureBackend::wait(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(mutex);
    {
        std::lock_guard logLock(log->mutex);
        ++log->waits;
        log->lastTimeout = timeout;
    }
    // With no hold of its own, a wait lasts as long as the device asks.
    const std::chrono::milliseconds limit = options.hold.count() > 0 ? options.hold : timeout;
    changed.wait_for(lock, limit, [this] { return woken || !script.empty(); });
    if (woken) {
        woken = false;
        std::lock_guard logLock(log->mutex);
        ++log->waitsEndedByWake;
        return WaitResult::Ready;
    }
    if (script.empty()) {
        std::lock_guard logLock(log->mutex);
        ++log->waitsTimedOut;
        return WaitResult::Timeout;
    }
    current = std::move(script.front());
    script.pop_front();
    next = 0;
    switch (current.step) {
    case Step::Timeout:
        return WaitResult::Timeout;
    case Step::WaitFails:
        return WaitResult::Failed;
    default:
        return WaitResult::Ready;
    }
}

void ScriptedCaptureBackend::wake()
{
    {
        std::lock_guard lock(mutex);
        woken = true;
        std::lock_guard logLock(log->mutex);
        ++log->wakes;
    }
    changed.notify_all();
}

bool ScriptedCaptureBackend::nextPacketSize(std::uint32_t &frames)
{
    std::lock_guard lock(mutex);
    frames = 0;
    if (current.step == Step::PacketSizeFails)
        return false;
    if (next < current.packets.size())
        frames = static_cast<std::uint32_t>(current.packets[next].size());
    return true;
}

bool ScriptedCaptureBackend::acquire(const std::int16_t *&data, std::uint32_t &frames)
{
    std::lock_guard lock(mutex);
    data = nullptr;
    frames = 0;
    if (current.step == Step::AcquireFails || next >= current.packets.size())
        return false;
    data = current.packets[next].data();
    frames = static_cast<std::uint32_t>(current.packets[next].size());
    return true;
}

bool ScriptedCaptureBackend::release(std::uint32_t frames)
{
    std::lock_guard lock(mutex);
    if (next >= current.packets.size() || frames != current.packets[next].size())
        return false;
    ++next;
    {
        std::lock_guard logLock(log->mutex);
        ++log->released;
    }
    if (current.step == Step::ReleaseFails) {
        // Whatever else this wake-up held is lost, as with a real device.
        current.packets.clear();
        next = 0;
        return false;
    }
    return true;
}
