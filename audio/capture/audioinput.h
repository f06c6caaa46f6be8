#pragma once

#include "capturebackend.h"

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
    void stop();

    void setCallbacks(SamplesCallback onSamples, StoppedCallback onStopped);
    // Called on the capture thread when the device fails for good while
    // running; the run then ends by itself (the stopped callback follows).
    void setFaultCallback(FaultCallback onFault);

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
    std::atomic<std::uint64_t> m_wakeupCount{0};
};
