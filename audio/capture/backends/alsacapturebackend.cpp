#include "alsacapturebackend.h"

#include "alsafault.h"
#include "capturelogging.h"

#include <alsa/asoundlib.h>
#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <iostream>

namespace {
constexpr unsigned int captureRate = 48000;
constexpr snd_pcm_uframes_t wantedPeriod = 480; // 10 ms
constexpr snd_pcm_uframes_t wantedBuffer = wantedPeriod * 8;
} // namespace

AlsaCaptureBackend::AlsaCaptureBackend(std::ostream &errors) : m_errors(errors)
{}

AlsaCaptureBackend::AlsaCaptureBackend() : AlsaCaptureBackend(std::cerr)
{}

AlsaCaptureBackend::~AlsaCaptureBackend()
{
    close();
}

bool AlsaCaptureBackend::fail(const char *call, int error)
{
    noteFault(alsaFault(error));
    // Same form as the Windows layer: the message, then the code in lower-case
    // hexadecimal with no separator.
    const std::ios::fmtflags flags = m_errors.flags();
    m_errors << call << " failed" << std::hex << static_cast<std::uint32_t>(error) << '\n';
    m_errors.flags(flags);
    qCWarning(lcCapture) << "microphone set-up:" << call << "failed:" << snd_strerror(error);
    close();
    return false;
}

bool AlsaCaptureBackend::open()
{
    close();
    noteFault(DeviceFault::None);
    int error = snd_pcm_open(&m_pcm, "default", SND_PCM_STREAM_CAPTURE, SND_PCM_NONBLOCK);
    if (error < 0) {
        m_pcm = nullptr;
        return fail("snd_pcm_open", error);
    }
    if (!configure())
        return false;
    const char *call = nullptr;
    if (!m_wait.attach(m_pcm, call, error))
        return fail(call, error);
    return true;
}

bool AlsaCaptureBackend::configure()
{
    snd_pcm_hw_params_t *hw = nullptr;
    snd_pcm_hw_params_alloca(&hw);
    int error = snd_pcm_hw_params_any(m_pcm, hw);
    if (error < 0)
        return fail("snd_pcm_hw_params_any", error);
    if ((error = snd_pcm_hw_params_set_access(m_pcm, hw, SND_PCM_ACCESS_RW_INTERLEAVED)) < 0)
        return fail("snd_pcm_hw_params_set_access", error);
    if ((error = snd_pcm_hw_params_set_format(m_pcm, hw, SND_PCM_FORMAT_S16_LE)) < 0)
        return fail("snd_pcm_hw_params_set_format", error);
    if ((error = snd_pcm_hw_params_set_channels(m_pcm, hw, 1)) < 0)
        return fail("snd_pcm_hw_params_set_channels", error);
    if ((error = snd_pcm_hw_params_set_rate_resample(m_pcm, hw, 1)) < 0)
        return fail("snd_pcm_hw_params_set_rate_resample", error);
    if ((error = snd_pcm_hw_params_set_rate(m_pcm, hw, captureRate, 0)) < 0)
        return fail("snd_pcm_hw_params_set_rate", error);
    snd_pcm_uframes_t periodSize = wantedPeriod;
    if ((error = snd_pcm_hw_params_set_period_size_near(m_pcm, hw, &periodSize, nullptr)) < 0)
        return fail("snd_pcm_hw_params_set_period_size_near", error);
    snd_pcm_uframes_t bufferSize = std::max(wantedBuffer, periodSize * 2);
    if ((error = snd_pcm_hw_params_set_buffer_size_near(m_pcm, hw, &bufferSize)) < 0)
        return fail("snd_pcm_hw_params_set_buffer_size_near", error);
    if ((error = snd_pcm_hw_params(m_pcm, hw)) < 0)
        return fail("snd_pcm_hw_params", error);
    if ((error = snd_pcm_hw_params_get_period_size(hw, &periodSize, nullptr)) < 0)
        return fail("snd_pcm_hw_params_get_period_size", error);

    snd_pcm_sw_params_t *sw = nullptr;
    snd_pcm_sw_params_alloca(&sw);
    if ((error = snd_pcm_sw_params_current(m_pcm, sw)) < 0)
        return fail("snd_pcm_sw_params_current", error);
    if ((error = snd_pcm_sw_params_set_avail_min(m_pcm, sw, periodSize)) < 0)
        return fail("snd_pcm_sw_params_set_avail_min", error);
    if ((error = snd_pcm_sw_params(m_pcm, sw)) < 0)
        return fail("snd_pcm_sw_params", error);

    m_periodFrames = static_cast<std::uint32_t>(periodSize);
    m_buffer.assign(m_periodFrames, 0);
    return true;
}

void AlsaCaptureBackend::close()
{
    m_wait.detach();
    if (m_pcm) {
        snd_pcm_close(m_pcm);
        m_pcm = nullptr;
    }
    m_periodFrames = 0;
}

bool AlsaCaptureBackend::start()
{
    if (!m_pcm)
        return false;
    int error = snd_pcm_prepare(m_pcm);
    if (error >= 0)
        error = snd_pcm_start(m_pcm);
    if (error < 0) {
        qCWarning(lcCapture) << "microphone start failed:" << snd_strerror(error);
        noteFault(alsaFault(error));
        return false;
    }
    return true;
}

void AlsaCaptureBackend::stop()
{
    if (m_pcm)
        snd_pcm_drop(m_pcm);
}

CaptureBackend::WaitResult AlsaCaptureBackend::wait(std::chrono::milliseconds timeout)
{
    unsigned short events = 0;
    const WaitResult woke = m_wait.wait(timeout, events);
    if (woke != WaitResult::Ready || events == 0)
        return woke;
    // POLLERR (an overrun) also counts as ready: reading the packet size
    // notices the error and recovers.
    return (events & (POLLIN | POLLERR)) ? WaitResult::Ready : WaitResult::TimedOut;
}

void AlsaCaptureBackend::wake()
{
    m_wait.wake();
}

void AlsaCaptureBackend::recover(int error)
{
    // An overrun or a suspend is recovered from; a device that went away is
    // noted so that the recording ends.
    if (snd_pcm_recover(m_pcm, error, 1) < 0) {
        noteFault(alsaFault(error));
        return;
    }
    if (snd_pcm_state(m_pcm) != SND_PCM_STATE_RUNNING)
        snd_pcm_start(m_pcm);
}

bool AlsaCaptureBackend::nextPacketSize(std::uint32_t &frames)
{
    frames = 0;
    if (!m_pcm)
        return false;
    const snd_pcm_sframes_t avail = snd_pcm_avail_update(m_pcm);
    if (avail < 0) {
        qCDebug(lcCapture) << "capture error, recovering:" << snd_strerror(static_cast<int>(avail));
        recover(static_cast<int>(avail));
        return false;
    }
    // Whole periods only: what is left waits for the next wake-up.
    frames = static_cast<snd_pcm_uframes_t>(avail) >= m_periodFrames ? m_periodFrames : 0;
    return true;
}

bool AlsaCaptureBackend::acquire(const std::int16_t *&data, std::uint32_t &frames)
{
    data = nullptr;
    frames = 0;
    if (!m_pcm)
        return false;
    const snd_pcm_sframes_t read = snd_pcm_readi(m_pcm, m_buffer.data(), m_periodFrames);
    if (read < 0) {
        if (read != -EAGAIN)
            recover(static_cast<int>(read));
        return false;
    }
    data = m_buffer.data();
    frames = static_cast<std::uint32_t>(read);
    return true;
}

bool AlsaCaptureBackend::release(std::uint32_t)
{
    // The packet was copied into our own buffer; nothing is borrowed.
    return m_pcm != nullptr;
}
