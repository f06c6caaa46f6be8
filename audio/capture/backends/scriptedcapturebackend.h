#pragma once

#include "capturebackend.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

// A capture backend that plays a script, for deterministic tests of the device
// logic: each wake-up delivers the packets given for it, or times out, or
// fails an operation. Once the script is used up, waits block until wake() or
// the hold time passes. Records what it was asked to do.
class ScriptedCaptureBackend final : public CaptureBackend
{
public:
    enum class Step
    {
        Packets,         // ready, with the packets of the wake-up
        Timeout,         // the wait times out
        WaitFails,       // the wait itself fails
        PacketSizeFails, // ready, but asking for the packet size fails
        AcquireFails,    // ready, first packet cannot be borrowed
        ReleaseFails,    // ready, the first packet is delivered but releasing it fails
    };
    struct WakeUp
    {
        Step step = Step::Packets;
        std::vector<std::vector<std::int16_t>> packets;
        // Why the step's operation fails (a transient failure by default).
        DeviceFault fault = DeviceFault::Failed;
    };

    // What happened, shared so that tests can read it after the device (and
    // this backend with it) is gone.
    struct Log
    {
        mutable std::mutex mutex;
        int opens = 0;
        int closes = 0;
        int starts = 0;
        int stops = 0;
        int wakes = 0;
        int waits = 0;
        int waitsEndedByWake = 0;
        int waitsTimedOut = 0;
        std::chrono::milliseconds lastTimeout{0};
        int released = 0;
        // What isStillDefault() answers; a test sets it false to stand for
        // the user choosing another default device.
        bool isDefault = true;
    };

    struct Options
    {
        bool failOpen = false;
        bool failStart = false;
        // Why a failing open or start fails.
        DeviceFault setUpFault = DeviceFault::Failed;
        // How long a wait with nothing scripted blocks unless woken; the device
        // asks for 200 ms, a longer hold proves that wake() ends the wait.
        std::chrono::milliseconds hold{0};
    };

    ScriptedCaptureBackend(std::deque<WakeUp> script, Options options, std::shared_ptr<Log> log);

    [[nodiscard]] bool open() override;
    void close() override;
    [[nodiscard]] bool isStillDefault() override;
    [[nodiscard]] bool start() override;
    void stop() override;
    [[nodiscard]] WaitResult wait(std::chrono::milliseconds timeout) override;
    void wake() override;
    [[nodiscard]] bool nextPacketSize(std::uint32_t &frames) override;
    [[nodiscard]] bool acquire(const std::int16_t *&data, std::uint32_t &frames) override;
    [[nodiscard]] bool release(std::uint32_t frames) override;

    // Appends wake-ups while the device runs.
    void feed(WakeUp wakeUp);

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<WakeUp> m_script;
    WakeUp m_current;
    std::size_t m_next = 0;
    bool m_woken = false;
    Options m_options;
    std::shared_ptr<Log> m_log;
};
