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
        m_backend->close();
    }
    // A thread that ended on its own after a stop that never came (or a
    // failed set-up) must still be joined: destroying it joinable would abort.
    if (m_thread.joinable())
        m_thread.join();
}

bool AudioOutput::initialize()
{
    m_initialised = m_backend && m_backend->open();
    return m_initialised;
}

bool AudioOutput::isUsable()
{
    if (!m_initialised || m_broken.load())
        return false;
    return (m_running.load() && !m_threadEnded.load()) || m_backend->isStillDefault();
}

DeviceFault AudioOutput::fault() const
{
    return m_backend ? m_backend->fault() : DeviceFault::Failed;
}

bool AudioOutput::start()
{
    std::unique_lock lock(m_mutex);
    if (!m_initialised || m_broken.load())
        return false;
    if (m_running.load()) {
        if (!m_threadEnded.load())
            return true;
        // Stalled: the thread gave up on a time-out or a device error. Bring
        // the stream back rather than leave every later start silent.
        haltLocked(lock);
    }
    if (m_thread.joinable())
        m_thread.join();
    if (!m_backend->start())
        return false;
    m_threadEnded.store(false);
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
    if (m_thread.joinable())
        m_thread.join();
    m_backend->stop();

    OnStopped callback;
    {
        std::lock_guard lock(m_mutex);
        callback = m_onStopped;
    }
    if (callback)
        callback();
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
    if (m_backend->bufferFrames(bufferFrames)) {
        while (m_running.load()) {
            m_wakeUps.fetch_add(1, std::memory_order_relaxed);
            if (m_backend->wait(waitTimeout) != RenderBackend::WaitResult::Ready)
                break;
            if (!m_running.load())
                break;
            std::uint32_t queued = 0;
            if (!m_backend->queuedFrames(queued))
                break;
            const std::uint32_t frames = queued < bufferFrames ? bufferFrames - queued : 0;
            if (frames == 0)
                continue;
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
    m_threadEnded.store(true);
    // A time-out or a passing error leaves the device stalled, to be started
    // again; a device that is gone, refused or taken is done for.
    const DeviceFault fault = m_backend->fault();
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
