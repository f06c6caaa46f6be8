#pragma once

#include "capturebackend.h"
#include "wasapisupport.h"

#include <iosfwd>
#include <vector>

struct IMMDeviceEnumerator;
struct IMMDevice;
struct IAudioClient;
struct IAudioCaptureClient;

// WASAPI capture of the default console microphone in shared mode, event
// driven with a 10 ms buffer, as 48 kHz mono 16-bit PCM. Plain Win32/COM.
class WasapiCaptureBackend final : public CaptureBackend
{
public:
    // Set-up failures are reported on `errors` (standard error by default).
    explicit WasapiCaptureBackend(std::ostream &errors);
    WasapiCaptureBackend();
    ~WasapiCaptureBackend() override;

    [[nodiscard]] bool open() override;
    void close() override;
    [[nodiscard]] bool start() override;
    void stop() override;
    [[nodiscard]] WaitResult wait(std::chrono::milliseconds timeout) override;
    void wake() override;
    [[nodiscard]] bool nextPacketSize(std::uint32_t &frames) override;
    [[nodiscard]] bool acquire(const std::int16_t *&data, std::uint32_t &frames) override;
    [[nodiscard]] bool release(std::uint32_t frames) override;

private:
    bool fail(const char *message, HRESULT result);

    std::ostream &m_errors;
    wasapi::ComUse m_com;
    IMMDeviceEnumerator *m_enumerator = nullptr;
    IMMDevice *m_device = nullptr;
    IAudioClient *m_client = nullptr;
    IAudioCaptureClient *m_captureClient = nullptr;
    HANDLE m_event = nullptr;
    std::vector<std::int16_t> m_silence;
};
