#pragma once

#include "capturebackend.h"
#include "pcmwait.h"

#include <iosfwd>
#include <vector>

struct _snd_pcm;

// ALSA capture from the "default" PCM, shared with other programs, as 48 kHz
// mono S16 (ALSA's plug layer converts when the device cannot). Packets are
// whole periods of about 10 ms read into a buffer of our own. An eventfd next
// to the PCM's poll descriptors lets wake() end a wait at once.
class AlsaCaptureBackend final : public CaptureBackend
{
public:
    // Set-up failures are reported on `errors` (standard error by default).
    explicit AlsaCaptureBackend(std::ostream &errors);
    AlsaCaptureBackend();
    ~AlsaCaptureBackend() override;

    [[nodiscard]] bool open() override;
    void close() override;
    [[nodiscard]] bool start() override;
    void stop() override;
    [[nodiscard]] WaitResult wait(std::chrono::milliseconds timeout) override;
    void wake() override;
    [[nodiscard]] bool nextPacketSize(std::uint32_t &frames) override;
    [[nodiscard]] bool acquire(const std::int16_t *&data, std::uint32_t &frames) override;
    [[nodiscard]] bool release(std::uint32_t frames) override;

    [[nodiscard]] std::uint32_t periodFrames() const { return m_periodFrames; }

private:
    bool fail(const char *call, int error);
    bool configure();
    void recover(int error);

    std::ostream &m_errors;
    _snd_pcm *m_pcm = nullptr;
    std::uint32_t m_periodFrames = 0;
    std::vector<std::int16_t> m_buffer;
    PcmWait m_wait;
};
