#include "audiooutput.h"

#include <cmath>
#include <cstring>
#include <utility>

AudioOutput::AudioOutput(std::unique_ptr<RenderBackend> backend) : m_backend(std::move(backend))
{}

AudioOutput::~AudioOutput()
{
    if (m_initialised) {
        stop();
        if (!m_abandoned.load())
            m_backend->close();
    }
    // A thread that ended on its own after a stop that never came (or a
    // failed set-up) must still be joined: destroying it joinable would abort.
    if (m_thread.joinable())
        (void)joinBounded();
}

bool AudioOutput::initialize()
{
    m_initialised = m_backend && m_backend->open();
    return m_initialised;
}

bool AudioOutput::isUsable()
{
    if (!m_initialised || m_broken.load() || isStuck())
        return false;
    return (m_running.load() && !m_watch.hasEnded()) || m_backend->isStillDefault();
}

DeviceFault AudioOutput::fault() const
{
    if (m_stalled.load())
        return DeviceFault::Stalled;
    return m_backend ? m_backend->fault() : DeviceFault::Failed;
}

bool AudioOutput::start()
{
    std::unique_lock lock(m_mutex);
    if (!m_initialised || m_broken.load())
        return false;
    if (m_running.load()) {
        if (!m_watch.hasEnded())
            return true;
        // Stalled: the thread gave up on a time-out or a device error. Bring
        // the stream back rather than leave every later start silent.
        haltLocked(lock);
    }
    if (m_thread.joinable())
        m_thread.join();
    if (!m_backend->start()) {
        // Gone, refused or taken: the next playback sets a device up afresh
        // rather than try this one again.
        if (endsDevice(m_backend->fault()))
            m_broken.store(true);
        return false;
    }
    m_watch.begin();
    m_running.store(true);
    m_thread = std::thread(&AudioOutput::run, this);
    return true;
}

void AudioOutput::haltLocked(std::unique_lock<std::mutex> &lock)
{
    m_running.store(false);
    m_backend->wake();
    if (m_thread.joinable()) {
        // The render thread takes the mutex for its callbacks.
        lock.unlock();
        m_thread.join();
        lock.lock();
    }
    m_backend->stop();
}

void AudioOutput::stop()
{
    {
        std::unique_lock lock(m_mutex);
        if (!m_running.load())
            return;
        m_running.store(false);
    }
    m_backend->wake();
    if (!joinBounded())
        return;
    m_backend->stop();

    OnStopped callback;
    {
        std::lock_guard lock(m_mutex);
        callback = m_onStopped;
    }
    if (callback)
        callback();
}

bool AudioOutput::isStuck() const
{
    return m_running.load() && m_watch.isStuck(m_stallTimeout + waitTimeout);
}

bool AudioOutput::joinBounded()
{
    if (!m_thread.joinable())
        return true;
    if (!m_watch.waitForEnd(m_stallTimeout)) {
        abandon();
        return false;
    }
    m_thread.join();
    return true;
}

// The thread is stuck in a call that does not return (ALSA's file plugin
// writing to a pipe nobody reads blocks in write()). It keeps the device, and
// if the call ever returns it finds no callbacks and ends; the playback is
// ended from here.
void AudioOutput::abandon()
{
    m_stalled.store(true);
    m_broken.store(true);
    m_abandoned.store(true);
    m_thread.detach();
    OnFault onFault;
    OnStopped stopped;
    {
        std::lock_guard lock(m_mutex);
        onFault = std::exchange(m_onFault, {});
        stopped = std::exchange(m_onStopped, {});
        m_pullSamples = nullptr;
    }
    try {
        if (onFault)
            onFault(DeviceFault::Stalled);
        if (stopped)
            stopped();
    } catch (...) {
    }
}

void AudioOutput::setPullSamples(PullSamples pull)
{
    std::lock_guard lock(m_mutex);
    m_pullSamples = pull ? std::make_shared<const PullSamples>(std::move(pull)) : nullptr;
}

void AudioOutput::setOnStopped(OnStopped callback)
{
    std::lock_guard lock(m_mutex);
    m_onStopped = std::move(callback);
}

void AudioOutput::setOnFault(OnFault callback)
{
    std::lock_guard lock(m_mutex);
    m_onFault = std::move(callback);
}

void AudioOutput::applyVolume(std::int16_t *samples, std::size_t count, float volume)
{
    if (std::isnan(volume))
        volume = 0.0f;
    for (std::size_t i = 0; i < count; ++i) {
        const float product = static_cast<float>(samples[i]) * volume;
        if (product >= 32767.0f)
            samples[i] = 32767;
        else if (product <= -32768.0f)
            samples[i] = -32768;
        else
            samples[i] = static_cast<std::int16_t>(product); // truncates toward zero
    }
}

void AudioOutput::run()
{
    std::uint32_t bufferFrames = 0;
    // A device that takes nothing (its waits only time out, or it wakes with
    // no room) would keep the playback going for ever. Checked only after
    // such an empty wake, so that a wait that blocked long and then gave room
    // is no stall.
    Clock::time_point lastPeriod = Clock::now();
    const auto idleTooLong = [&] {
        if (Clock::now() - lastPeriod < m_stallTimeout)
            return false;
        m_stalled.store(true);
        return true;
    };
    if (m_backend->bufferFrames(bufferFrames)) {
        while (m_running.load()) {
            m_wakeUps.fetch_add(1, std::memory_order_relaxed);
            // A wait is bounded by its time-out and ended by wake(); only the
            // other calls can keep the thread (see isStuck).
            m_watch.enterWait();
            const RenderBackend::WaitResult woke = m_backend->wait(waitTimeout);
            m_watch.leaveWait();
            if (woke == RenderBackend::WaitResult::TimedOut) {
                if (idleTooLong())
                    break;
                continue;
            }
            if (woke != RenderBackend::WaitResult::Ready || !m_running.load())
                break;
            std::uint32_t queued = 0;
            if (!m_backend->queuedFrames(queued))
                break;
            const std::uint32_t frames = queued < bufferFrames ? bufferFrames - queued : 0;
            if (frames == 0) {
                if (idleTooLong())
                    break;
                continue;
            }
            lastPeriod = Clock::now();
            std::int16_t *buffer = m_backend->acquire(frames);
            if (!buffer)
                break;

            std::shared_ptr<const PullSamples> pull;
            {
                std::lock_guard lock(m_mutex);
                pull = m_pullSamples;
            }
            const std::size_t samples = std::size_t{channels} * frames;
            if (pull)
                (*pull)(buffer, frames);
            else
                std::memset(buffer, 0, samples * sizeof(std::int16_t));

            const float volume = m_volume.load();
            if (volume != 1.0f)
                applyVolume(buffer, samples, volume);
            if (!m_backend->release(frames))
                break;
        }
    }
    m_watch.end();
    // A passing error leaves the device stalled, to be started again; a
    // device that is gone, refused, taken or stopped for good is done for.
    const DeviceFault fault = this->fault();
    if (!m_running.load() || !endsDevice(fault))
        return;
    m_broken.store(true);
    OnFault callback;
    {
        std::lock_guard lock(m_mutex);
        callback = m_onFault;
    }
    if (callback) {
        try {
            callback(fault);
        } catch (...) {
        }
    }
}
