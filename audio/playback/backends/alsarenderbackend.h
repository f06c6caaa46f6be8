#pragma once

#include "pcmwait.h"
#include "renderbackend.h"

#include <iosfwd>
#include <vector>

struct _snd_pcm;

// Render backend over ALSA: the default PCM through the plug layer (which
// converts to what the device takes), 48 kHz mono S16, periods of about
// 10 ms. The buffer-ready wait polls the PCM together with an eventfd that
// wake() signals, so a stop interrupts it at once.
class AlsaRenderBackend final : public RenderBackend
{
public:
    static constexpr const char *deviceName = "plug:default";

    // Set-up failures are reported on `errors` (standard error by default).
    explicit AlsaRenderBackend(std::ostream &errors);
    AlsaRenderBackend();
    ~AlsaRenderBackend() override;

    [[nodiscard]] bool open() override;
    void close() override;
    [[nodiscard]] bool start() override;
    void stop() override;
    [[nodiscard]] bool bufferFrames(std::uint32_t &frames) override;
    [[nodiscard]] WaitResult wait(std::chrono::milliseconds timeout) override;
    void wake() override;
    [[nodiscard]] bool queuedFrames(std::uint32_t &frames) override;
    [[nodiscard]] std::int16_t *acquire(std::uint32_t frames) override;
    [[nodiscard]] bool release(std::uint32_t frames) override;

private:
    bool report(const char *call, int error);
    bool configure();
    bool recover(long error);

    std::ostream &m_errors;
    _snd_pcm *m_pcm = nullptr;
    unsigned long m_bufferFrames = 0;
    unsigned long m_periodFrames = 0;
    std::vector<std::int16_t> m_period;
    PcmWait m_wait;
};
