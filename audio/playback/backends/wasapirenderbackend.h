#pragma once

#include "renderbackend.h"
#include "wasapisupport.h"

#include <iosfwd>

struct IMMDeviceEnumerator;
struct IMMDevice;
struct IAudioClient;
struct IAudioRenderClient;

// Render backend over WASAPI in shared mode with event-driven buffering:
// 48 kHz mono 16-bit, converted by the audio engine to the mix format, 10 ms
// buffer. Plain Win32 and COM, no Qt.
class WasapiRenderBackend final : public RenderBackend
{
public:
    // Set-up failures are reported on `errors` (standard error by default).
    explicit WasapiRenderBackend(std::ostream &errors);
    WasapiRenderBackend();
    ~WasapiRenderBackend() override;

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
    bool fail(const char *message, HRESULT result);

    std::ostream &m_errors;
    wasapi::ComUse m_com;
    IMMDeviceEnumerator *m_enumerator = nullptr;
    IMMDevice *m_device = nullptr;
    IAudioClient *m_client = nullptr;
    IAudioRenderClient *m_renderClient = nullptr;
    HANDLE m_event = nullptr;
};
