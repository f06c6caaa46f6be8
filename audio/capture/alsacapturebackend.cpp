#include "alsacapturebackend.h"

#include "capturelogging.h"

#include <alsa/asoundlib.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <iostream>

namespace {
constexpr unsigned int captureRate = 48000;
constexpr snd_pcm_uframes_t wantedPeriod = 480; // 10 ms
constexpr snd_pcm_uframes_t wantedBuffer = wantedPeriod * 8;
} // namespace

AlsaCaptureBackend::AlsaCaptureBackend(std::ostream &errors) : errors(errors)
{}

AlsaCaptureBackend::AlsaCaptureBackend() : AlsaCaptureBackend(std::cerr)
{}

AlsaCaptureBackend::~AlsaCaptureBackend()
{
    close();
}

bool AlsaCaptureBackend::fail(const char *call, int error)
{
    // Same form as the Windows layer: the message, then the code in lower-case
    // hexadecimal with no separator.
    const std::ios::fmtflags flags = errors.flags();
    errors << call << " failed" << std::hex << static_cast<std::uint32_t>(error) << '\n';
    errors.flags(flags);
    qCWarning(lcCapture) << "microphone set-up:" << call << "failed:" << snd_strerror(error);
    close();
    return false;
}

bool AlsaCaptureBackend::open()
{
    close();
    int error = snd_pcm_open(&pcm, "default", SND_PCM_STREAM_CAPTURE, SND_PCM_NONBLOCK);
    if (error < 0) {
        pcm = nullptr;
        return fail("snd_pcm_open", error);
    }
    if (!configure())
        return false;

    wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeFd < 0)
        return fail("eventfd", -errno);

    const int count = snd_pcm_poll_descriptors_count(pcm);
    if (count <= 0)
        return fail("snd_pcm_poll_descriptors_count", count < 0 ? count : -EINVAL);
    fds.assign(static_cast<std::size_t>(count) + 1, pollfd{});
    error = snd_pcm_poll_descriptors(pcm, fds.data() + 1, static_cast<unsigned int>(count));
    if (error < 0)
        return fail("snd_pcm_poll_descriptors", error);
    fds[0].fd = wakeFd;
    fds[0].events = POLLIN;
    return true;
}

bool AlsaCaptureBackend::configure()
{
    snd_pcm_hw_params_t *hw = nullptr;
    snd_pcm_hw_params_alloca(&hw);
    int error = snd_pcm_hw_params_any(pcm, hw);
    if (error < 0)
        return fail("snd_pcm_hw_params_any", error);
    if ((error = snd_pcm_hw_params_set_access(pcm, hw, SND_PCM_ACCESS_RW_INTERLEAVED)) < 0)
        return fail("snd_pcm_hw_params_set_access", error);
    if ((error = snd_pcm_hw_params_set_format(pcm, hw, SND_PCM_FORMAT_S16_LE)) < 0)
        return fail("snd_pcm_hw_params_set_format", error);
    if ((error = snd_pcm_hw_params_set_channels(pcm, hw, 1)) < 0)
        return fail("snd_pcm_hw_params_set_channels", error);
    if ((error = snd_pcm_hw_params_set_rate_resample(pcm, hw, 1)) < 0)
        return fail("snd_pcm_hw_params_set_rate_resample", error);
    if ((error = snd_pcm_hw_params_set_rate(pcm, hw, captureRate, 0)) < 0)
        return fail("snd_pcm_hw_params_set_rate", error);
    snd_pcm_uframes_t periodSize = wantedPeriod;
    if ((error = snd_pcm_hw_params_set_period_size_near(pcm, hw, &periodSize, nullptr)) < 0)
        return fail("snd_pcm_hw_params_set_period_size_near", error);
    snd_pcm_uframes_t bufferSize = std::max(wantedBuffer, periodSize * 2);
    if ((error = snd_pcm_hw_params_set_buffer_size_near(pcm, hw, &bufferSize)) < 0)
        return fail("snd_pcm_hw_params_set_buffer_size_near", error);
    if ((error = snd_pcm_hw_params(pcm, hw)) < 0)
        return fail("snd_pcm_hw_params", error);
    if ((error = snd_pcm_hw_params_get_period_size(hw, &periodSize, nullptr)) < 0)
        return fail("snd_pcm_hw_params_get_period_size", error);

    snd_pcm_sw_params_t *sw = nullptr;
    snd_pcm_sw_params_alloca(&sw);
    if ((error = snd_pcm_sw_params_current(pcm, sw)) < 0)
        return fail("snd_pcm_sw_params_current", error);
    if ((error = snd_pcm_sw_params_set_avail_min(pcm, sw, periodSize)) < 0)
        return fail("snd_pcm_sw_params_set_avail_min", error);
    if ((error = snd_pcm_sw_params(pcm, sw)) < 0)
        return fail("snd_pcm_sw_params", error);

    period = static_cast<std::uint32_t>(periodSize);
    buffer.assign(period, 0);
    return true;
}

void AlsaCaptureBackend::close()
{
    if (pcm) {
        snd_pcm_close(pcm);
        pcm = nullptr;
    }
    if (wakeFd >= 0) {
        ::close(wakeFd);
        wakeFd = -1;
    }
    fds.clear();
    period = 0;
}

bool AlsaCaptureBackend::start()
{
    if (!pcm)
        return false;
    int error = snd_pcm_prepare(pcm);
    if (error >= 0)
        error = snd_pcm_start(pcm);
    if (error < 0) {
        qCWarning(lcCapture) << "microphone start failed:" << snd_strerror(error);
        return false;
    }
    return true;
}

void AlsaCaptureBackend::stop()
{
    if (pcm)
        snd_pcm_drop(pcm);
}

CaptureBackend::WaitResult AlsaCaptureBackend::wait(std::chrono::milliseconds timeout)
{
    if (!pcm)
        return WaitResult::Failed;
    const int ready = ::poll(fds.data(), fds.size(), static_cast<int>(timeout.count()));
    if (ready == 0)
        return WaitResult::Timeout;
    if (ready < 0)
        return errno == EINTR ? WaitResult::Timeout : WaitResult::Failed;
    if (fds[0].revents & POLLIN) {
        // Behaves like an auto-reset event: one wake ends one wait.
        eventfd_t value = 0;
        (void)eventfd_read(wakeFd, &value);
        return WaitResult::Ready;
    }
    unsigned short events = 0;
    if (snd_pcm_poll_descriptors_revents(pcm, fds.data() + 1, static_cast<unsigned int>(fds.size() - 1),
                                         &events) < 0)
        return WaitResult::Failed;
    // POLLERR (an overrun) also counts as ready: reading the packet size
    // notices the error and recovers.
    return (events & (POLLIN | POLLERR)) ? WaitResult::Ready : WaitResult::Timeout;
}

void AlsaCaptureBackend::wake()
{
    if (wakeFd >= 0)
        (void)eventfd_write(wakeFd, 1);
}

void AlsaCaptureBackend::recover(int error)
{
    if (snd_pcm_recover(pcm, error, 1) >= 0 && snd_pcm_state(pcm) != SND_PCM_STATE_RUNNING)
        snd_pcm_start(pcm);
}

bool AlsaCaptureBackend::nextPacketSize(std::uint32_t &frames)
{
    frames = 0;
    if (!pcm)
        return false;
    const snd_pcm_sframes_t avail = snd_pcm_avail_update(pcm);
    if (avail < 0) {
        qCDebug(lcCapture) << "capture error, recovering:" << snd_strerror(static_cast<int>(avail));
        recover(static_cast<int>(avail));
        return false;
    }
    // Whole periods only: what is left waits for the next wake-up.
    frames = static_cast<snd_pcm_uframes_t>(avail) >= period ? period : 0;
    return true;
}

bool AlsaCaptureBackend::acquire(const std::int16_t *&data, std::uint32_t &frames)
{
    data = nullptr;
    frames = 0;
    if (!pcm)
        return false;
    const snd_pcm_sframes_t read = snd_pcm_readi(pcm, buffer.data(), period);
    if (read < 0) {
        if (read != -EAGAIN)
            recover(static_cast<int>(read));
        return false;
    }
    data = buffer.data();
    frames = static_cast<std::uint32_t>(read);
    return true;
}

bool AlsaCaptureBackend::release(std::uint32_t)
{
    // The packet was copied into our own buffer; nothing is borrowed.
    return pcm != nullptr;
}
