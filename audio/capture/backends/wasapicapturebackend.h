#pragma once

#include "capturebackend.h"
#include "pcmconverter.h"
#include "wasapisupport.h"

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

struct IMMDeviceEnumerator;
struct IMMDevice;
struct IAudioClient;
struct IAudioCaptureClient;

// WASAPI capture of the default console microphone in shared mode, event
// driven with a 10 ms buffer, delivered as 48 kHz mono 16-bit PCM. The
// format is agreed in three ways, the most direct first: our format as it
// is, when the engine supports it exactly; our format with the engine's
// conversion; the engine's mix format, converted here. Plain Win32/COM.
class WasapiCaptureBackend final : public CaptureBackend
{
public:
    enum class FormatPath
    {
        Exact,     // 48 kHz mono 16-bit, supported as it is
        Converted, // the same, converted by the audio engine
        MixFormat, // the engine's mix format, converted by PcmConverter
    };

    // Set-up failures are reported on `errors` (standard error by default).
    // `first` skips the more direct ways (the probes try each on a device).
    explicit WasapiCaptureBackend(std::ostream &errors, FormatPath first = FormatPath::Exact);
    WasapiCaptureBackend();
    ~WasapiCaptureBackend() override;

    [[nodiscard]] bool open() override;
    void close() override;
    [[nodiscard]] bool isStillDefault() override;
    [[nodiscard]] bool start() override;
    void stop() override;
    [[nodiscard]] WaitResult wait(std::chrono::milliseconds timeout) override;
    void wake() override;
    [[nodiscard]] bool nextPacketSize(std::uint32_t &frames) override;
    [[nodiscard]] bool acquire(const std::int16_t *&data, std::uint32_t &frames) override;
    [[nodiscard]] bool release(std::uint32_t frames) override;

    // How the open stream's format was agreed.
    [[nodiscard]] FormatPath formatPath() const { return m_path; }

private:
    bool fail(const char *message, HRESULT result);
    [[nodiscard]] HRESULT initializeStream();
    [[nodiscard]] HRESULT initializeMixFormat();
    [[nodiscard]] bool noted(HRESULT result);

    std::ostream &m_errors;
    wasapi::ComUse m_com;
    IMMDeviceEnumerator *m_enumerator = nullptr;
    IMMDevice *m_device = nullptr;
    IAudioClient *m_client = nullptr;
    IAudioCaptureClient *m_captureClient = nullptr;
    HANDLE m_event = nullptr;
    std::vector<std::int16_t> m_silence;
    FormatPath m_first;
    FormatPath m_path = FormatPath::Exact;
    std::optional<PcmConverter> m_converter;
    std::wstring m_deviceId;
    // Frames of the packet borrowed from the device, which differ from those
    // delivered when the mix format is converted.
    std::uint32_t m_borrowed = 0;
};
