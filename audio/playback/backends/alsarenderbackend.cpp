#include "alsarenderbackend.h"

#include "alsafault.h"
#include "playbacklogging.h"

#include <alsa/asoundlib.h>
#include <poll.h>

#include <cerrno>
#include <iostream>

namespace {
constexpr unsigned int sampleRate = 48000;
constexpr snd_pcm_uframes_t periodTarget = 480; // 10 ms
constexpr snd_pcm_uframes_t bufferTarget = 4 * periodTarget;

} // namespace

AlsaRenderBackend::AlsaRenderBackend(std::ostream &errors) : m_errors(errors)
{}

AlsaRenderBackend::AlsaRenderBackend() : AlsaRenderBackend(std::cerr)
{}

// "AudioOutput Error: ", the failing call and ALSA's words for the error.
bool AlsaRenderBackend::report(const char *call, int error)
{
    noteFault(alsaFault(error));
    m_errors << "AudioOutput Error: " << call << " failed: " << snd_strerror(error) << '\n';
    qCWarning(lcPlayback) << "sound output set-up:" << call << "failed:" << snd_strerror(error);
    return false;
}

AlsaRenderBackend::~AlsaRenderBackend()
{
    close();
}

bool AlsaRenderBackend::open()
{
    close();
    noteFault(DeviceFault::None);
    if (int err = snd_pcm_open(&m_pcm, deviceName, SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK); err < 0) {
        m_pcm = nullptr;
        return report("snd_pcm_open", err);
    }
    if (!configure()) {
        close();
        return false;
    }
    const char *call = nullptr;
    int error = 0;
    if (!m_wait.attach(m_pcm, call, error)) {
        report(call, error);
        close();
        return false;
    }
    return true;
}

bool AlsaRenderBackend::configure()
{
    snd_pcm_hw_params_t *hw = nullptr;
    snd_pcm_hw_params_alloca(&hw);
    unsigned int rate = sampleRate;
    snd_pcm_uframes_t period = periodTarget;
    snd_pcm_uframes_t buffer = bufferTarget;
    int err = snd_pcm_hw_params_any(m_pcm, hw);
    if (err < 0)
        return report("snd_pcm_hw_params_any", err);
    if ((err = snd_pcm_hw_params_set_access(m_pcm, hw, SND_PCM_ACCESS_RW_INTERLEAVED)) < 0)
        return report("snd_pcm_hw_params_set_access", err);
    if ((err = snd_pcm_hw_params_set_format(m_pcm, hw, SND_PCM_FORMAT_S16_LE)) < 0)
        return report("snd_pcm_hw_params_set_format", err);
    if ((err = snd_pcm_hw_params_set_channels(m_pcm, hw, 1)) < 0)
        return report("snd_pcm_hw_params_set_channels", err);
    if ((err = snd_pcm_hw_params_set_rate_resample(m_pcm, hw, 1)) < 0)
        return report("snd_pcm_hw_params_set_rate_resample", err);
    if ((err = snd_pcm_hw_params_set_rate_near(m_pcm, hw, &rate, nullptr)) < 0)
        return report("snd_pcm_hw_params_set_rate_near", err);
    if (rate != sampleRate)
        return report("snd_pcm_hw_params_set_rate_near (48000 Hz)", -EINVAL);
    if ((err = snd_pcm_hw_params_set_period_size_near(m_pcm, hw, &period, nullptr)) < 0)
        return report("snd_pcm_hw_params_set_period_size_near", err);
    if ((err = snd_pcm_hw_params_set_buffer_size_near(m_pcm, hw, &buffer)) < 0)
        return report("snd_pcm_hw_params_set_buffer_size_near", err);
    if ((err = snd_pcm_hw_params(m_pcm, hw)) < 0)
        return report("snd_pcm_hw_params", err);
    snd_pcm_hw_params_get_period_size(hw, &period, nullptr);
    snd_pcm_hw_params_get_buffer_size(hw, &buffer);

    snd_pcm_sw_params_t *sw = nullptr;
    snd_pcm_sw_params_alloca(&sw);
    if ((err = snd_pcm_sw_params_current(m_pcm, sw)) < 0)
        return report("snd_pcm_sw_params_current", err);
    // Wake when a period is free; start as soon as one period is queued.
    if ((err = snd_pcm_sw_params_set_avail_min(m_pcm, sw, period)) < 0)
        return report("snd_pcm_sw_params_set_avail_min", err);
    if ((err = snd_pcm_sw_params_set_start_threshold(m_pcm, sw, period)) < 0)
        return report("snd_pcm_sw_params_set_start_threshold", err);
    if ((err = snd_pcm_sw_params(m_pcm, sw)) < 0)
        return report("snd_pcm_sw_params", err);
    m_periodFrames = period;
    m_bufferFrames = buffer;
    return true;
}

void AlsaRenderBackend::close()
{
    m_wait.detach();
    if (m_pcm) {
        snd_pcm_close(m_pcm);
        m_pcm = nullptr;
    }
}

bool AlsaRenderBackend::start()
{
    // Forget a wake-up meant for the previous run.
    m_wait.drain();
    const snd_pcm_state_t state = snd_pcm_state(m_pcm);
    if (state == SND_PCM_STATE_PREPARED || state == SND_PCM_STATE_RUNNING)
        return true;
    // The stream itself starts with the first queued period.
    return snd_pcm_prepare(m_pcm) >= 0;
}

void AlsaRenderBackend::stop()
{
    snd_pcm_drop(m_pcm);
}

bool AlsaRenderBackend::bufferFrames(std::uint32_t &frames)
{
    frames = static_cast<std::uint32_t>(m_bufferFrames);
    return frames > 0;
}

RenderBackend::WaitResult AlsaRenderBackend::wait(std::chrono::milliseconds timeout)
{
    unsigned short events = 0;
    const WaitResult woke = m_wait.wait(timeout, events);
    if (woke != WaitResult::Ready)
        return woke;
    if (events & POLLERR)
        return recover(-EPIPE) ? WaitResult::Ready : WaitResult::Failed;
    return WaitResult::Ready;
}

void AlsaRenderBackend::wake()
{
    m_wait.wake();
}

bool AlsaRenderBackend::queuedFrames(std::uint32_t &frames)
{
    snd_pcm_sframes_t avail = snd_pcm_avail_update(m_pcm);
    if (avail < 0) {
        if (!recover(avail))
            return false;
        avail = snd_pcm_avail_update(m_pcm);
        if (avail < 0)
            return false;
    }
    const auto free = static_cast<unsigned long>(avail);
    frames = static_cast<std::uint32_t>(free >= m_bufferFrames ? 0 : m_bufferFrames - free);
    return true;
}

std::int16_t *AlsaRenderBackend::acquire(std::uint32_t frames)
{
    if (m_period.size() < frames)
        m_period.resize(frames);
    return m_period.data();
}

bool AlsaRenderBackend::release(std::uint32_t frames)
{
    const std::int16_t *data = m_period.data();
    snd_pcm_uframes_t left = frames;
    while (left > 0) {
        const snd_pcm_uframes_t chunk = left < m_periodFrames ? left : m_periodFrames;
        const snd_pcm_sframes_t written = snd_pcm_writei(m_pcm, data, chunk);
        if (written == -EAGAIN) {
            // Less room than reported: wait for it rather than drop samples.
            if (snd_pcm_wait(m_pcm, 200) <= 0)
                return false;
            continue;
        }
        if (written < 0) {
            if (!recover(written))
                return false;
            continue;
        }
        data += written;
        left -= static_cast<snd_pcm_uframes_t>(written);
    }
    return true;
}

bool AlsaRenderBackend::recover(long error)
{
    // Underruns and suspends are part of normal life; anything else ends the
    // render thread, and a device that went away ends the playback.
    if (snd_pcm_recover(m_pcm, static_cast<int>(error), 1) >= 0)
        return true;
    noteFault(alsaFault(static_cast<int>(error)));
    return false;
}
