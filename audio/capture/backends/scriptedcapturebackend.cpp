#include "scriptedcapturebackend.h"

#include <utility>

ScriptedCaptureBackend::ScriptedCaptureBackend(std::deque<WakeUp> script, Options options,
                                               std::shared_ptr<Log> log)
    : m_script(std::move(script)), m_options(options), m_log(log ? std::move(log) : std::make_shared<Log>())
{}

bool ScriptedCaptureBackend::open()
{
    std::lock_guard lock(m_log->mutex);
    ++m_log->opens;
    noteFault(m_options.failOpen ? m_options.setUpFault : DeviceFault::None);
    return !m_options.failOpen;
}

void ScriptedCaptureBackend::close()
{
    std::lock_guard lock(m_log->mutex);
    ++m_log->closes;
}

bool ScriptedCaptureBackend::start()
{
    std::lock_guard lock(m_log->mutex);
    ++m_log->starts;
    if (m_options.failStart)
        noteFault(m_options.setUpFault);
    return !m_options.failStart;
}

bool ScriptedCaptureBackend::isStillDefault()
{
    std::lock_guard lock(m_log->mutex);
    return m_log->isDefault;
}

void ScriptedCaptureBackend::stop()
{
    std::lock_guard lock(m_log->mutex);
    ++m_log->stops;
}

void ScriptedCaptureBackend::feed(WakeUp wakeUp)
{
    {
        std::lock_guard lock(m_mutex);
        m_script.push_back(std::move(wakeUp));
    }
    m_changed.notify_all();
}

CaptureBackend::WaitResult ScriptedCaptureBackend::wait(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_mutex);
    {
        std::lock_guard logLock(m_log->mutex);
        ++m_log->waits;
        m_log->lastTimeout = timeout;
    }
    // With no hold of its own, a wait lasts as long as the device asks.
    const std::chrono::milliseconds limit = m_options.hold.count() > 0 ? m_options.hold : timeout;
    m_changed.wait_for(lock, limit, [this] { return m_woken || !m_script.empty(); });
    if (m_woken) {
        m_woken = false;
        std::lock_guard logLock(m_log->mutex);
        ++m_log->waitsEndedByWake;
        return WaitResult::Ready;
    }
    if (m_script.empty()) {
        std::lock_guard logLock(m_log->mutex);
        ++m_log->waitsTimedOut;
        return WaitResult::TimedOut;
    }
    m_current = std::move(m_script.front());
    m_script.pop_front();
    m_next = 0;
    switch (m_current.step) {
    case Step::Timeout:
        return WaitResult::TimedOut;
    case Step::WaitFails:
        noteFault(m_current.fault);
        return WaitResult::Failed;
    default:
        return WaitResult::Ready;
    }
}

void ScriptedCaptureBackend::wake()
{
    {
        std::lock_guard lock(m_mutex);
        m_woken = true;
        std::lock_guard logLock(m_log->mutex);
        ++m_log->wakes;
    }
    m_changed.notify_all();
}

bool ScriptedCaptureBackend::nextPacketSize(std::uint32_t &frames)
{
    std::lock_guard lock(m_mutex);
    frames = 0;
    if (m_current.step == Step::PacketSizeFails) {
        noteFault(m_current.fault);
        return false;
    }
    if (m_next < m_current.packets.size())
        frames = static_cast<std::uint32_t>(m_current.packets[m_next].size());
    return true;
}

bool ScriptedCaptureBackend::acquire(const std::int16_t *&data, std::uint32_t &frames)
{
    std::lock_guard lock(m_mutex);
    data = nullptr;
    frames = 0;
    if (m_current.step == Step::AcquireFails) {
        noteFault(m_current.fault);
        return false;
    }
    if (m_next >= m_current.packets.size())
        return false;
    data = m_current.packets[m_next].data();
    frames = static_cast<std::uint32_t>(m_current.packets[m_next].size());
    return true;
}

bool ScriptedCaptureBackend::release(std::uint32_t frames)
{
    std::lock_guard lock(m_mutex);
    if (m_next >= m_current.packets.size() || frames != m_current.packets[m_next].size())
        return false;
    ++m_next;
    {
        std::lock_guard logLock(m_log->mutex);
        ++m_log->released;
    }
    if (m_current.step == Step::ReleaseFails) {
        // Whatever else this wake-up held is lost, as with a real device.
        m_current.packets.clear();
        m_next = 0;
        noteFault(m_current.fault);
        return false;
    }
    return true;
}
