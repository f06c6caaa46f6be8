#pragma once

#include "renderbackend.h"
#include "wasapisupport.h"

#include <iosfwd>
#include <string>

struct IMMDeviceEnumerator;
struct IMMDevice;
struct IAudioClient;
struct IAudioRenderClient;

// Render backend over WASAPI in shared mode with event-driven buffering:
// 48 kHz mono 16-bit, as it is when the engine supports it exactly,
// otherwise converted by the engine to its mix format; 10 ms buffer. Plain
// Win32 and COM, no Qt.
class WasapiRenderBackend final : public RenderBackend
{
public:
    // Set-up failures are reported on `errors` (standard error by default).
    explicit WasapiRenderBackend(std::ostream &errors);
    WasapiRenderBackend();
    ~WasapiRenderBackend() override;

    [[nodiscard]] bool open() override;
    void close() override;
    [[nodiscard]] bool isStillDefault() override;
    [[nodiscard]] bool start() override;
    void stop() override;
    [[nodiscard]] bool bufferFrames(std::uint32_t &frames) override;
    [[nodiscard]] WaitResult wait(std::chrono::milliseconds timeout) override;
    void wake() override;
    [[nodiscard]] bool queuedFrames(std::uint32_t &frames) override;
    [[nodiscard]] std::int16_t *acquire(std::uint32_t frames) override;
    [[nodiscard]] bool release(std::uint32_t frames) override;

    // Whether the engine converts our format (false: it takes it as it is).
    [[nodiscard]] bool isConverted() const { return m_converted; }

private:
    bool fail(const char *message, HRESULT result);
    [[nodiscard]] bool noted(HRESULT result);

    std::ostream &m_errors;
    wasapi::ComUse m_com;
    IMMDeviceEnumerator *m_enumerator = nullptr;
    IMMDevice *m_device = nullptr;
    IAudioClient *m_client = nullptr;
    IAudioRenderClient *m_renderClient = nullptr;
    HANDLE m_event = nullptr;
    std::wstring m_deviceId;
    bool m_converted = false;
};
