#include "audioinput.h"

#include <utility>

namespace {
// An exception thrown by a callback must not end the capture thread (and with
// it the process): the block is dropped instead.
void deliver(const AudioInput::SamplesCallback &samples, const std::int16_t *data,
             std::uint32_t frames) noexcept
{
    try {
        samples(data, frames);
    } catch (...) {
    }
}
} // namespace

AudioInput::AudioInput(std::unique_ptr<CaptureBackend> backend) : m_backend(std::move(backend))
{}

AudioInput::~AudioInput()
{
    if (m_initialised)
        stop();
    // Never leave a joinable thread behind: destroying one would end the
    // process. A run that ended by itself may still be finishing, so the
    // join comes before the device is closed.
    if (m_thread.joinable())
        m_thread.join();
    if (m_initialised)
        m_backend->close();
}

bool AudioInput::initialize()
{
    m_initialised = m_backend && m_backend->open();
    return m_initialised;
}

bool AudioInput::isUsable()
{
    if (!m_initialised || m_broken.load())
        return false;
    return m_running.load() || m_backend->isStillDefault();
}

DeviceFault AudioInput::fault() const
{
    return m_backend ? m_backend->fault() : DeviceFault::Failed;
}

bool AudioInput::start()
{
    if (!m_initialised || m_broken.load())
        return false;
    if (m_running.load())
        return true;
    if (!m_backend->start())
        return false;
    // A thread object left over from an earlier run has finished (stop joins
    // it); join defensively rather than let assignment end the process.
    if (m_thread.joinable())
        m_thread.join();
    m_running.store(true);
    m_thread = std::thread(&AudioInput::run, this);
    return true;
}

void AudioInput::stop()
{
    if (!m_initialised || !m_running.exchange(false))
        return;
    m_backend->wake();
    if (m_thread.joinable())
        m_thread.join();
    m_backend->stop();
    StoppedCallback stopped;
    {
        std::lock_guard lock(m_mutex);
        stopped = m_onStopped;
    }
    // Called outside the lock: the callback may post work that takes other locks.
    if (stopped) {
        try {
            stopped();
        } catch (...) {
        }
    }
}

void AudioInput::setCallbacks(SamplesCallback samples, StoppedCallback stopped)
{
    std::lock_guard lock(m_mutex);
    m_onSamples = std::move(samples);
    m_onStopped = std::move(stopped);
}

void AudioInput::setFaultCallback(FaultCallback onFault)
{
    std::lock_guard lock(m_mutex);
    m_onFault = std::move(onFault);
}

// Transient failures (an overrun, a packet that could not be read) go back to
// waiting; a device that is gone, refused or taken ends the run.
bool AudioInput::deviceGone()
{
    if (!endsDevice(m_backend->fault()))
        return false;
    m_broken.store(true);
    return true;
}

// On the capture thread, after the loop: tells of the fault, and unless a
// stop is already under way (it then stops the device and reports the end
// itself), stops the device and reports the end of the stream.
void AudioInput::endByItself()
{
    FaultCallback onFault;
    StoppedCallback stopped;
    {
        std::lock_guard lock(m_mutex);
        onFault = m_onFault;
        stopped = m_onStopped;
    }
    if (onFault) {
        try {
            onFault(m_backend->fault());
        } catch (...) {
        }
    }
    if (!m_running.exchange(false))
        return;
    m_backend->stop();
    if (stopped) {
        try {
            stopped();
        } catch (...) {
        }
    }
}

void AudioInput::run()
{
    while (m_running.load() && !m_broken.load()) {
        const CaptureBackend::WaitResult woke = m_backend->wait(waitTimeout);
        m_wakeupCount.fetch_add(1, std::memory_order_relaxed);
        if (woke != CaptureBackend::WaitResult::Ready) {
            if (woke == CaptureBackend::WaitResult::Failed && deviceGone())
                break;
            continue;
        }
        if (!m_running.load())
            break;
        std::uint32_t frames = 0;
        if (!m_backend->nextPacketSize(frames)) {
            (void)deviceGone();
            continue;
        }
        // Deliver every packet waiting at this wake-up, in order. A transient
        // failure goes back to waiting; the thread itself never gives up on
        // a device that is still there. A device that always has more (one
        // without a clock) must not keep a stop waiting, so the flag is
        // checked between packets too.
        while (frames != 0 && m_running.load()) {
            const std::int16_t *data = nullptr;
            std::uint32_t got = 0;
            if (!m_backend->acquire(data, got)) {
                (void)deviceGone();
                break;
            }
            SamplesCallback samples;
            {
                std::lock_guard lock(m_mutex);
                samples = m_onSamples;
            }
            if (samples && got != 0)
                deliver(samples, data, got);
            if (!m_backend->release(got) || !m_backend->nextPacketSize(frames)) {
                (void)deviceGone();
                break;
            }
        }
    }
    if (m_broken.load())
        endByItself();
}
