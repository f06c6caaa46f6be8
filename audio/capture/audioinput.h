#pragma once

#include "capturebackend.h"
#include "devicethreadwatch.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

// The microphone: 48 kHz mono 16-bit PCM captured on a thread of its own and
// handed, block by block, to a callback. The platform specifics sit behind a
// CaptureBackend; this class only holds the thread, the running flag and the
// two callbacks. Free of Qt so that it builds with the Windows layer alone.
class AudioInput
{
public:
    using SamplesCallback = std::function<void(const std::int16_t *samples, std::uint64_t frames)>;
    using StoppedCallback = std::function<void()>;
    using FaultCallback = std::function<void(DeviceFault)>;

    static constexpr int defaultRate = 48000;
    static constexpr int defaultChannels = 1;
    static constexpr std::chrono::milliseconds waitTimeout{200};
    using Clock = std::chrono::steady_clock;

    explicit AudioInput(std::unique_ptr<CaptureBackend> backend);
    AudioInput(const AudioInput &) = delete;
    AudioInput &operator=(const AudioInput &) = delete;
    ~AudioInput();

    // Opens the device; the result is also kept as isInitialised().
    bool initialize();
    // False once the device failed for good (unplugged, taken away) or the
    // system's default device is another one: the next recording should use
    // a fresh instance. Not while running.
    [[nodiscard]] bool isUsable();
    // Starts the device and the capture thread. False when not initialised or
    // when the device refuses to start; true when already running.
    bool start();
    // Stops the thread (waking it), joins it, stops the device, then calls the
    // stopped callback. Does nothing, and calls nothing, when not running.
    // A thread stuck inside the back end (a read that never returns) is
    // waited for at most the stall time-out, then left to itself: the device
    // is abandoned, the fault callback hears DeviceFault::Stalled and the
    // stopped callback follows, so the recording still ends.
    void stop();
    // The capture thread has not come back from a call into the back end
    // (other than its wait) for longer than the stall time-out: only a stop
    // (which abandons it) ends the recording.
    [[nodiscard]] bool isStuck() const;
    // The capture thread was left inside the back end. Such a device must
    // not be destroyed (the thread still uses it); its owner keeps it.
    [[nodiscard]] bool isAbandoned() const { return m_abandoned.load(); }

    void setCallbacks(SamplesCallback onSamples, StoppedCallback onStopped);
    // Called on the capture thread when the device fails for good while
    // running; the run then ends by itself (the stopped callback follows).
    void setFaultCallback(FaultCallback onFault);
    // How long the running device may deliver nothing before the run ends
    // with DeviceFault::Stalled (deviceStallTimeout unless a test shortens it).
    void setStallTimeout(std::chrono::milliseconds timeout) { m_stallTimeout = timeout; }

    [[nodiscard]] bool isInitialised() const { return m_initialised; }
    // Why the device last failed (set-up, start or while running).
    [[nodiscard]] DeviceFault fault() const;
    [[nodiscard]] bool isRunning() const { return m_running.load(); }
    [[nodiscard]] int sampleRate() const { return m_rate; }
    [[nodiscard]] int channelCount() const { return m_channels; }
    // Returns of the capture thread from its wait, over the instance's life.
    [[nodiscard]] std::uint64_t wakeups() const { return m_wakeupCount.load(std::memory_order_relaxed); }

private:
    void run();
    // The backend's fault after a failed call, if it ends the run.
    [[nodiscard]] bool deviceGone();
    void endByItself();
    // Waits for the capture thread, bounded by the stall time-out; false
    // when it was abandoned instead.
    bool joinBounded();
    void abandon();

    int m_channels = defaultChannels;
    int m_rate = defaultRate;
    bool m_initialised = false;
    std::atomic<bool> m_running{false};
    std::unique_ptr<CaptureBackend> m_backend;
    std::thread m_thread;
    std::mutex m_mutex;
    SamplesCallback m_onSamples;
    StoppedCallback m_onStopped;
    FaultCallback m_onFault;
    std::atomic<bool> m_broken{false};
    std::atomic<bool> m_stalled{false};
    std::atomic<bool> m_abandoned{false};
    DeviceThreadWatch m_watch;
    std::chrono::milliseconds m_stallTimeout = deviceStallTimeout;
    std::atomic<std::uint64_t> m_wakeupCount{0};
};
