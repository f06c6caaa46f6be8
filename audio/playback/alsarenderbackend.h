#pragma once

#include "renderbackend.h"

#include <poll.h>

#include <vector>

typedef struct _snd_pcm snd_pcm_t;

// Render backend over ALSA: the default PCM through the plug layer (which
// converts to what the device takes), 48 kHz mono S16, periods of about
// 10 ms. The buffer-ready wait polls the PCM together with an eventfd that
// wake() signals, so a stop interrupts it at once.
class AlsaRenderBackend final : public RenderBackend
{
public:
    static constexpr const char *deviceName = "plug:default";

    AlsaRenderBackend() = default;
    ~AlsaRenderBackend() override;

    bool open() override;
    void close() override;
    bool start() override;
    void stop() override;
    bool bufferFrames(std::uint32_t &frames) override;
    Wait waitReady(std::chrono::milliseconds timeout) override;
    void wake() override;
    bool queuedFrames(std::uint32_t &frames) override;
    std::int16_t *acquire(std::uint32_t frames) override;
    bool release(std::uint32_t frames) override;

private:
    bool configure();
    bool recover(long error);

    snd_pcm_t *m_pcm = nullptr;
    int m_wakeFd = -1;
    unsigned long m_bufferFrames = 0;
    unsigned long m_periodFrames = 0;
    std::vector<std::int16_t> m_period;
    std::vector<pollfd> m_fds;
};
