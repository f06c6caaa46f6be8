#include "pcmwait.h"

#include <alsa/asoundlib.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>

PcmWait::~PcmWait()
{
    detach();
}

bool PcmWait::attach(snd_pcm_t *pcm, const char *&failedCall, int &error)
{
    detach();
    m_wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (m_wakeFd < 0) {
        failedCall = "eventfd";
        error = -errno;
        return false;
    }
    const int count = snd_pcm_poll_descriptors_count(pcm);
    if (count <= 0) {
        failedCall = "snd_pcm_poll_descriptors_count";
        error = count < 0 ? count : -EINVAL;
        detach();
        return false;
    }
    m_fds.assign(static_cast<std::size_t>(count) + 1, pollfd{});
    error = snd_pcm_poll_descriptors(pcm, m_fds.data() + 1, static_cast<unsigned int>(count));
    if (error < 0) {
        failedCall = "snd_pcm_poll_descriptors";
        detach();
        return false;
    }
    m_fds[0].fd = m_wakeFd;
    m_fds[0].events = POLLIN;
    m_pcm = pcm;
    return true;
}

void PcmWait::detach()
{
    if (m_wakeFd >= 0) {
        ::close(m_wakeFd);
        m_wakeFd = -1;
    }
    m_fds.clear();
    m_pcm = nullptr;
}

DeviceWait PcmWait::wait(std::chrono::milliseconds timeout, unsigned short &revents)
{
    revents = 0;
    if (!m_pcm)
        return DeviceWait::Failed;
    int ready = 0;
    do {
        ready = ::poll(m_fds.data(), m_fds.size(), static_cast<int>(timeout.count()));
    } while (ready < 0 && errno == EINTR);
    if (ready < 0)
        return DeviceWait::Failed;
    if (ready == 0)
        return DeviceWait::TimedOut;
    if (m_fds[0].revents & POLLIN) {
        // Behaves like an auto-reset event: one wake ends one wait.
        drain();
        return DeviceWait::Ready;
    }
    if (snd_pcm_poll_descriptors_revents(m_pcm, m_fds.data() + 1, static_cast<unsigned int>(m_fds.size() - 1),
                                         &revents) < 0)
        return DeviceWait::Failed;
    return DeviceWait::Ready;
}

void PcmWait::wake()
{
    if (m_wakeFd >= 0)
        (void)eventfd_write(m_wakeFd, 1);
}

void PcmWait::drain()
{
    eventfd_t value = 0;
    if (m_wakeFd >= 0)
        (void)eventfd_read(m_wakeFd, &value);
}
