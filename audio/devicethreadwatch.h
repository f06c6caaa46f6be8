#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

// What the owner of a device thread knows of it, the same for capture and
// render: when it last came back from the back end, whether it is inside its
// bounded wait, and whether it has ended. Lets the owner tell a thread stuck
// in a driver call and wait for its end without ever blocking for good.
class DeviceThreadWatch
{
public:
    using Clock = std::chrono::steady_clock;

    // A new thread is about to start.
    void begin()
    {
        m_ended.store(false);
        stamp();
    }
    // The thread came back from a call into the back end.
    void stamp() { m_lastReturn.store(Clock::now().time_since_epoch().count()); }
    // Around the back end's wait, which its time-out bounds.
    void enterWait() { m_inWait.store(true); }
    void leaveWait()
    {
        stamp();
        m_inWait.store(false);
    }
    // The thread's last act.
    void end()
    {
        std::lock_guard lock(m_endMutex);
        m_ended.store(true);
        m_endedChanged.notify_all();
    }

    [[nodiscard]] bool hasEnded() const { return m_ended.load(); }
    // Outside its wait and not back from the back end for longer than limit.
    [[nodiscard]] bool isStuck(std::chrono::milliseconds limit) const
    {
        if (m_ended.load() || m_inWait.load())
            return false;
        const Clock::time_point last{Clock::duration{m_lastReturn.load()}};
        return Clock::now() - last > limit;
    }
    // Waits at most timeout for the thread's end; true when it ended.
    [[nodiscard]] bool waitForEnd(std::chrono::milliseconds timeout)
    {
        std::unique_lock lock(m_endMutex);
        return m_endedChanged.wait_for(lock, timeout, [this] { return m_ended.load(); });
    }

private:
    std::atomic<Clock::rep> m_lastReturn{0};
    std::atomic<bool> m_inWait{false};
    std::atomic<bool> m_ended{false};
    std::mutex m_endMutex;
    std::condition_variable m_endedChanged;
};
