#pragma once

#include "devicethreadwatch.h"
#include "renderbackend.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

// The render device: a thread that fills the device buffer each period from
// `pullSamples`, applies the volume, and reports each stop through
// `onStopped`. The platform part is the RenderBackend it owns.
class AudioOutput
{
public:
    using PullSamples = std::function<void(std::int16_t *buffer, std::uint64_t frames)>;
    using OnStopped = std::function<void()>;
    using OnFault = std::function<void(DeviceFault)>;

    static constexpr int channels = 1;
    static constexpr int rate = 48000;
    static constexpr std::chrono::milliseconds waitTimeout{200};
    using Clock = std::chrono::steady_clock;

    explicit AudioOutput(std::unique_ptr<RenderBackend> backend);
    AudioOutput(const AudioOutput &) = delete;
    AudioOutput &operator=(const AudioOutput &) = delete;
    ~AudioOutput();

    // Opens the device on the calling thread; remembers the result.
    bool initialize();
    // False once the device failed for good (unplugged, taken away), its
    // render thread is stuck, or the system's default output is another one:
    // the next playback should use a fresh instance. Never while it plays.
    [[nodiscard]] bool isUsable();
    // Why the device last failed (set-up, start or while playing).
    [[nodiscard]] DeviceFault fault() const;
    // Under the mutex: when not running, starts the stream and a new render
    // thread. A device whose render thread has ended on its own while still
    // marked running is stopped first (silently) and started again.
    bool start();
    // Stops the thread and the stream, then calls onStopped once. A render
    // thread stuck inside the back end (a write that never returns) is
    // waited for at most the stall time-out, then left to itself: the device
    // is abandoned, onFault hears DeviceFault::Stalled and onStopped follows.
    void stop();
    // The render thread has not come back from a call into the back end
    // (other than its wait) for longer than the stall time-out: only a stop
    // (which abandons it) ends the playback.
    [[nodiscard]] bool isStuck() const;
    // The render thread was left inside the back end. Such a device must not
    // be destroyed (the thread still uses it); its owner keeps it.
    [[nodiscard]] bool isAbandoned() const { return m_abandoned.load(); }

    void setPullSamples(PullSamples pull);
    void setOnStopped(OnStopped callback);
    // Called on the render thread when the device fails for good while
    // playing; the render thread has then ended (stop() completes the stop).
    void setOnFault(OnFault callback);
    void setVolume(float volume) { m_volume.store(volume); }
    // How long the playing device may take nothing before the playback ends
    // with DeviceFault::Stalled (deviceStallTimeout unless a test shortens it).
    void setStallTimeout(std::chrono::milliseconds timeout) { m_stallTimeout = timeout; }

    [[nodiscard]] float volume() const { return m_volume.load(); }
    [[nodiscard]] bool isInitialised() const { return m_initialised; }
    [[nodiscard]] bool isRunning() const { return m_running.load(); }
    // Marked running, but the render thread has returned (a passing error).
    [[nodiscard]] bool isStalled() const { return m_running.load() && m_watch.hasEnded(); }
    // Render-loop wake-ups since creation, for diagnostics and benchmarks.
    [[nodiscard]] std::uint64_t wakeUps() const { return m_wakeUps.load(); }

    // Multiplies each sample by `volume` in single precision, saturating at
    // the 16-bit limits and truncating toward zero otherwise.
    static void applyVolume(std::int16_t *samples, std::size_t count, float volume);

private:
    void run();
    // Caller holds the mutex; the render thread must have ended or be told to.
    void haltLocked(std::unique_lock<std::mutex> &lock);
    // Waits for the render thread, bounded by the stall time-out; false when
    // it was abandoned instead.
    bool joinBounded();
    void abandon();

    std::unique_ptr<RenderBackend> m_backend;
    bool m_initialised = false;
    std::atomic<bool> m_running{false};
    std::atomic<float> m_volume{1.0f};
    std::atomic<std::uint64_t> m_wakeUps{0};
    // Held by shared pointer so that the render thread's per-period copy is a
    // reference count, never an allocation.
    std::shared_ptr<const PullSamples> m_pullSamples;
    OnStopped m_onStopped;
    OnFault m_onFault;
    std::atomic<bool> m_broken{false};
    std::atomic<bool> m_stalled{false};
    std::atomic<bool> m_abandoned{false};
    DeviceThreadWatch m_watch;
    std::chrono::milliseconds m_stallTimeout = deviceStallTimeout;
    std::thread m_thread;
    std::mutex m_mutex;
};
