#pragma once

#include "devicewait.h"

#include <chrono>
#include <vector>

struct _snd_pcm;
struct pollfd;

// Waits on an ALSA PCM's poll descriptors together with an eventfd that
// wake() signals from any thread, so that a stop ends a wait at once. What
// the capture and render back ends share on Linux.
class PcmWait
{
public:
    PcmWait() = default;
    PcmWait(const PcmWait &) = delete;
    PcmWait &operator=(const PcmWait &) = delete;
    ~PcmWait();

    // Takes the PCM's descriptors and makes the eventfd. On failure, the
    // failing call and its (negative) error are given back.
    [[nodiscard]] bool attach(_snd_pcm *pcm, const char *&failedCall, int &error);
    void detach();

    // Ready when woken (revents 0) or when the PCM has events (in revents).
    [[nodiscard]] DeviceWait wait(std::chrono::milliseconds timeout, unsigned short &revents);
    void wake();
    // Forgets a wake-up not yet taken (one meant for an earlier run).
    void drain();

private:
    _snd_pcm *m_pcm = nullptr;
    int m_wakeFd = -1;
    std::vector<pollfd> m_fds;
};
