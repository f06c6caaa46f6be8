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
        (void)joinBounded();
    if (m_initialised && !m_abandoned.load())
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
    if (m_stalled.load())
        return DeviceFault::Stalled;
    return m_backend ? m_backend->fault() : DeviceFault::Failed;
}

bool AudioInput::start()
{
    if (!m_initialised || m_broken.load())
        return false;
    if (m_running.load())
        return true;
    if (!m_backend->start()) {
        // Gone, refused or taken: the next recording sets a device up afresh
        // rather than try this one again.
        if (endsDevice(m_backend->fault()))
            m_broken.store(true);
        return false;
    }
    // A thread object left over from an earlier run has finished (stop joins
    // it); join defensively rather than let assignment end the process.
    if (m_thread.joinable())
        m_thread.join();
    m_watch.begin();
    m_running.store(true);
    m_thread = std::thread(&AudioInput::run, this);
    return true;
}

void AudioInput::stop()
{
    if (!m_initialised || !m_running.exchange(false))
        return;
    m_backend->wake();
    if (!joinBounded())
        return;
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

bool AudioInput::isStuck() const
{
    return m_running.load() && m_watch.isStuck(m_stallTimeout + waitTimeout);
}

bool AudioInput::joinBounded()
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
// reading a pipe that went quiet blocks in read()). It keeps the device, and
// if the call ever returns it finds no callbacks and ends; the recording is
// ended from here.
void AudioInput::abandon()
{
    m_stalled.store(true);
    m_broken.store(true);
    m_abandoned.store(true);
    m_thread.detach();
    FaultCallback onFault;
    StoppedCallback stopped;
    {
        std::lock_guard lock(m_mutex);
        onFault = std::exchange(m_onFault, {});
        stopped = std::exchange(m_onStopped, {});
        m_onSamples = {};
    }
    try {
        if (onFault)
            onFault(DeviceFault::Stalled);
        if (stopped)
            stopped();
    } catch (...) {
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
            onFault(fault());
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
    // A device that is there but delivers nothing (its waits only time out,
    // or it wakes with nothing to give) would leave the recording silent for
    // as long as the button is held. Checked only after such an empty wake,
    // so that a wait that blocked long and then brought data is no stall.
    Clock::time_point lastBlock = Clock::now();
    const auto idleTooLong = [&] {
        if (Clock::now() - lastBlock < m_stallTimeout)
            return false;
        m_stalled.store(true);
        m_broken.store(true);
        return true;
    };
    while (m_running.load() && !m_broken.load()) {
        // A wait is bounded by its time-out and ended by wake(); only the
        // other calls can keep the thread (see isStuck).
        m_watch.enterWait();
        const CaptureBackend::WaitResult woke = m_backend->wait(waitTimeout);
        m_watch.leaveWait();
        m_wakeupCount.fetch_add(1, std::memory_order_relaxed);
        if (woke != CaptureBackend::WaitResult::Ready) {
            if (woke == CaptureBackend::WaitResult::Failed && deviceGone())
                break;
            if (idleTooLong())
                break;
            continue;
        }
        if (!m_running.load())
            break;
        std::uint32_t frames = 0;
        if (!m_backend->nextPacketSize(frames)) {
            (void)deviceGone();
            if (idleTooLong())
                break;
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
            if (got != 0)
                lastBlock = Clock::now();
            if (samples && got != 0)
                deliver(samples, data, got);
            m_watch.stamp();
            if (!m_backend->release(got) || !m_backend->nextPacketSize(frames)) {
                (void)deviceGone();
                break;
            }
        }
        if (m_running.load() && idleTooLong())
            break;
    }
    if (m_broken.load())
        endByItself();
    m_watch.end();
}
