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

AudioInput::AudioInput(std::unique_ptr<CaptureBackend> backend) : backend(std::move(backend))
{}

AudioInput::~AudioInput()
{
    if (initialised) {
        stop();
        backend->close();
    }
    // Never leave a joinable thread behind: destroying one would end the process.
    if (thread.joinable())
        thread.join();
}

bool AudioInput::initialize()
{
    initialised = backend && backend->open();
    return initialised;
}

bool AudioInput::start()
{
    if (!initialised)
        return false;
    if (running.load())
        return true;
    if (!backend->start())
        return false;
    // A thread object left over from an earlier run has finished (stop joins
    // it); join defensively rather than let assignment end the process.
    if (thread.joinable())
        thread.join();
    running.store(true);
    thread = std::thread(&AudioInput::run, this);
    return true;
}

void AudioInput::stop()
{
    if (!initialised || !running.exchange(false))
        return;
    backend->wake();
    if (thread.joinable())
        thread.join();
    backend->stop();
    StoppedCallback stopped;
    {
        std::lock_guard lock(mutex);
        stopped = onStopped;
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
    std::lock_guard lock(mutex);
    onSamples = std::move(samples);
    onStopped = std::move(stopped);
}

void AudioInput::run()
{
    while (running.load()) {
        const CaptureBackend::WaitResult woke = backend->wait(waitTimeout);
        wakeupCount.fetch_add(1, std::memory_order_relaxed);
        if (woke != CaptureBackend::WaitResult::Ready)
            continue;
        if (!running.load())
            break;
        std::uint32_t frames = 0;
        if (!backend->nextPacketSize(frames))
            continue;
        // Deliver every packet waiting at this wake-up, in order. Any failure
        // goes back to waiting; the thread itself never gives up. A device
        // that always has more (one without a clock) must not keep a stop
        // waiting, so the flag is checked between packets too.
        while (frames != 0 && running.load()) {
            const std::int16_t *data = nullptr;
            std::uint32_t got = 0;
            if (!backend->acquire(data, got))
                break;
            SamplesCallback samples;
            {
                std::lock_guard lock(mutex);
                samples = onSamples;
            }
            if (samples && got != 0)
                deliver(samples, data, got);
            if (!backend->release(got))
                break;
            if (!backend->nextPacketSize(frames))
                break;
        }
    }
}
