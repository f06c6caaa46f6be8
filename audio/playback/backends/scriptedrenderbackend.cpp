#include "scriptedrenderbackend.h"

#include <algorithm>
#include <chrono>
#include <utility>

void RenderScript::addPeriods(std::uint32_t frames, int count)
{
    std::lock_guard lock(mutex);
    for (int i = 0; i < count; ++i) {
        steps.push_back(Step::Period);
        periodFrames.push_back(frames);
    }
    changed.notify_all();
}

void RenderScript::add(Step step)
{
    std::lock_guard lock(mutex);
    steps.push_back(step);
    if (step == Step::Period)
        periodFrames.push_back(480);
    changed.notify_all();
}

void RenderScript::setEndlessPeriods(std::uint32_t frames)
{
    std::lock_guard lock(mutex);
    endlessFrames = frames;
    changed.notify_all();
}

void RenderScript::setUnresponsive(bool value)
{
    std::lock_guard lock(mutex);
    unresponsive = value;
    changed.notify_all();
}

void RenderScript::failNextOpens(int count)
{
    std::lock_guard lock(mutex);
    failOpens = count;
}

void RenderScript::setFault(DeviceFault f)
{
    std::lock_guard lock(mutex);
    fault = f;
}

void RenderScript::setStillDefault(bool isDefault)
{
    std::lock_guard lock(mutex);
    stillDefault = isDefault;
}

void RenderScript::failNextStarts(int count)
{
    std::lock_guard lock(mutex);
    failStarts = count;
}

std::vector<std::int16_t> RenderScript::rendered() const
{
    std::lock_guard lock(mutex);
    return output;
}

std::vector<std::uint32_t> RenderScript::releasedPeriods() const
{
    std::lock_guard lock(mutex);
    return periods;
}

int RenderScript::opens() const
{
    std::lock_guard lock(mutex);
    return openCount;
}

int RenderScript::starts() const
{
    std::lock_guard lock(mutex);
    return startCount;
}

int RenderScript::stops() const
{
    std::lock_guard lock(mutex);
    return stopCount;
}

int RenderScript::closes() const
{
    std::lock_guard lock(mutex);
    return closeCount;
}

std::size_t RenderScript::stepsLeft() const
{
    std::lock_guard lock(mutex);
    return steps.size();
}

bool RenderScript::waitUntilUsedUp(int timeoutMs) const
{
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                            [this] { return steps.empty() && endlessFrames == 0 && waiting; });
}

ScriptedRenderBackend::ScriptedRenderBackend(std::shared_ptr<RenderScript> script)
    : m_script(std::move(script))
{}

bool ScriptedRenderBackend::open()
{
    std::lock_guard lock(m_script->mutex);
    ++m_script->openCount;
    if (m_script->failOpens > 0) {
        --m_script->failOpens;
        noteFault(m_script->fault);
        return false;
    }
    noteFault(DeviceFault::None);
    return true;
}

bool ScriptedRenderBackend::isStillDefault()
{
    std::lock_guard lock(m_script->mutex);
    return m_script->stillDefault;
}

void ScriptedRenderBackend::close()
{
    std::lock_guard lock(m_script->mutex);
    ++m_script->closeCount;
}

bool ScriptedRenderBackend::start()
{
    std::lock_guard lock(m_script->mutex);
    if (m_script->failStarts > 0) {
        --m_script->failStarts;
        noteFault(m_script->fault);
        return false;
    }
    ++m_script->startCount;
    m_script->woken = false;
    return true;
}

void ScriptedRenderBackend::stop()
{
    std::lock_guard lock(m_script->mutex);
    ++m_script->stopCount;
    m_script->changed.notify_all();
}

bool ScriptedRenderBackend::bufferFrames(std::uint32_t &frames)
{
    frames = RenderScript::bufferSize;
    return true;
}

RenderBackend::WaitResult ScriptedRenderBackend::wait(std::chrono::milliseconds timeout)
{
    RenderScript &s = *m_script;
    std::unique_lock lock(s.mutex);
    s.offered = 0;
    s.waiting = true;
    s.changed.notify_all();
    // An exhausted script without endless periods is a device that never has
    // room: the thread waits until it is woken or given more steps (or, for
    // an unresponsive device, until the time-out).
    const auto moved = [&s] { return s.woken || !s.steps.empty() || s.endlessFrames > 0; };
    if (s.unresponsive) {
        if (!s.changed.wait_for(lock, timeout, moved)) {
            s.waiting = false;
            return WaitResult::TimedOut;
        }
    } else {
        s.changed.wait(lock, moved);
    }
    s.waiting = false;
    if (s.woken) {
        s.woken = false;
        return WaitResult::Ready;
    }
    if (s.steps.empty()) {
        s.offered = s.endlessFrames;
        return WaitResult::Ready;
    }
    const RenderScript::Step step = s.steps.front();
    s.steps.pop_front();
    switch (step) {
    case RenderScript::Step::Period:
        s.offered = s.periodFrames.front();
        s.periodFrames.pop_front();
        return WaitResult::Ready;
    case RenderScript::Step::Timeout:
        return WaitResult::TimedOut;
    case RenderScript::Step::WaitFailure:
        return WaitResult::Failed;
    case RenderScript::Step::QueryFailure:
        s.offered = ~std::uint32_t{0};
        return WaitResult::Ready;
    case RenderScript::Step::AcquireFailure:
        s.offered = ~std::uint32_t{0} - 1;
        return WaitResult::Ready;
    case RenderScript::Step::DeviceGone:
        noteFault(s.fault);
        s.offered = ~std::uint32_t{0};
        return WaitResult::Ready;
    }
    return WaitResult::Failed;
}

void ScriptedRenderBackend::wake()
{
    std::lock_guard lock(m_script->mutex);
    m_script->woken = true;
    m_script->changed.notify_all();
}

bool ScriptedRenderBackend::queuedFrames(std::uint32_t &frames)
{
    std::lock_guard lock(m_script->mutex);
    const std::uint32_t offered = m_script->offered;
    if (offered == ~std::uint32_t{0})
        return false;
    // A failing acquire still needs some free space to be asked for.
    const std::uint32_t free = offered == ~std::uint32_t{0} - 1 ? 1 : offered;
    frames = RenderScript::bufferSize - std::min(free, RenderScript::bufferSize);
    return true;
}

std::int16_t *ScriptedRenderBackend::acquire(std::uint32_t frames)
{
    std::lock_guard lock(m_script->mutex);
    if (m_script->offered == ~std::uint32_t{0} - 1)
        return nullptr;
    m_script->scratch.assign(frames, std::int16_t{0x5555}); // garbage the writer must overwrite
    return m_script->scratch.data();
}

bool ScriptedRenderBackend::release(std::uint32_t frames)
{
    std::lock_guard lock(m_script->mutex);
    RenderScript &s = *m_script;
    s.output.insert(s.output.end(), s.scratch.begin(), s.scratch.begin() + frames);
    s.periods.push_back(frames);
    s.changed.notify_all();
    return true;
}
