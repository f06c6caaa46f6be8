#include "wasapicapturebackend.h"

#include <cstring>
#include <iostream>

namespace {

// Whether an extensible format's sub-format is the plain format `tag`
// (those GUIDs are the tag followed by a fixed tail).
bool isSubFormat(const GUID &format, WORD tag)
{
    static constexpr unsigned char tail[8]{0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71};
    return format.Data1 == tag && format.Data2 == 0 && format.Data3 == 0x10 &&
           std::memcmp(format.Data4, tail, sizeof tail) == 0;
}

// The sample layout of the engine's mix format, if the converter reads it.
std::optional<PcmConverter::Sample> mixSample(const WAVEFORMATEX &format)
{
    bool isFloat = format.wFormatTag == WAVE_FORMAT_IEEE_FLOAT;
    bool isInteger = format.wFormatTag == WAVE_FORMAT_PCM;
    if (format.wFormatTag == WAVE_FORMAT_EXTENSIBLE && format.cbSize >= 22) {
        const auto &extensible = reinterpret_cast<const WAVEFORMATEXTENSIBLE &>(format);
        isFloat = isSubFormat(extensible.SubFormat, WAVE_FORMAT_IEEE_FLOAT);
        isInteger = isSubFormat(extensible.SubFormat, WAVE_FORMAT_PCM);
    }
    if (!isFloat && !isInteger)
        return std::nullopt;
    // wBitsPerSample is the container: 24 valid bits in 32 read as 32-bit.
    return PcmConverter::sampleOf(isFloat, format.wBitsPerSample);
}

const char *stepFailure(wasapi::Step step)
{
    switch (step) {
    case wasapi::Step::Enumerator:
        return "CoCreateInstance failed";
    case wasapi::Step::Endpoint:
        return "GetDefaultAudioEndpoint failed";
    case wasapi::Step::Activate:
        return "Device activate failed";
    case wasapi::Step::Event:
        return "SetEventHandle failed";
    }
    return nullptr;
}

} // namespace

WasapiCaptureBackend::WasapiCaptureBackend(std::ostream &errors, FormatPath first)
    : m_errors(errors), m_first(first)
{}

WasapiCaptureBackend::WasapiCaptureBackend() : WasapiCaptureBackend(std::cerr)
{}

WasapiCaptureBackend::~WasapiCaptureBackend()
{
    close();
}

// The message, then the result code with no separator; none for the
// failures that are not worth a line.
bool WasapiCaptureBackend::fail(const char *message, HRESULT result)
{
    noteFault(wasapi::faultOf(result));
    if (message)
        wasapi::reportFailure(m_errors, message, result);
    close();
    return false;
}

// Whether a call succeeded; notes the fault if not.
bool WasapiCaptureBackend::noted(HRESULT result)
{
    if (SUCCEEDED(result))
        return true;
    noteFault(wasapi::faultOf(result));
    return false;
}

bool WasapiCaptureBackend::open()
{
    close();
    noteFault(DeviceFault::None);
    if (!m_com.acquire()) {
        noteFault(DeviceFault::Failed);
        return false;
    }

    wasapi::Step step = wasapi::Step::Enumerator;
    HRESULT hr = wasapi::activateDefaultClient(eCapture, m_enumerator, m_device, m_client, step);
    if (FAILED(hr))
        return fail(stepFailure(step), hr);
    m_deviceId = wasapi::endpointId(m_device);

    hr = initializeStream();
    if (FAILED(hr))
        return fail("IAudioClient_Initialize failed", hr);

    hr = wasapi::attachEvent(m_client, m_event);
    if (FAILED(hr))
        return fail(m_event ? stepFailure(wasapi::Step::Event) : nullptr, hr);
    hr = m_client->GetService(__uuidof(IAudioCaptureClient), reinterpret_cast<void **>(&m_captureClient));
    if (FAILED(hr))
        return fail("GetService failed", hr);
    return true;
}

HRESULT WasapiCaptureBackend::initializeStream()
{
    WAVEFORMATEX format = wasapi::pcmFormat();
    HRESULT hr = S_OK;
    if (m_first == FormatPath::Exact) {
        // Most shared-mode engines mix in 32-bit float stereo and answer
        // S_FALSE with a closest match; only an exact yes is taken as it is.
        WAVEFORMATEX *closest = nullptr;
        hr = m_client->IsFormatSupported(AUDCLNT_SHAREMODE_SHARED, &format, &closest);
        CoTaskMemFree(closest);
        if (hr == S_OK) {
            m_path = FormatPath::Exact;
            hr = m_client->Initialize(AUDCLNT_SHAREMODE_SHARED, wasapi::eventDriven, wasapi::bufferDuration,
                                      0, &format, nullptr);
            if (SUCCEEDED(hr))
                return hr;
        }
        // A device that is gone, refused or taken will not do better below.
        if (FAILED(hr) && endsDevice(wasapi::faultOf(hr)))
            return hr;
    }
    if (m_first != FormatPath::MixFormat) {
        m_path = FormatPath::Converted;
        hr = m_client->Initialize(AUDCLNT_SHAREMODE_SHARED, wasapi::eventDrivenConverted,
                                  wasapi::bufferDuration, 0, &format, nullptr);
        if (SUCCEEDED(hr) || endsDevice(wasapi::faultOf(hr)))
            return hr;
    }
    return initializeMixFormat();
}

HRESULT WasapiCaptureBackend::initializeMixFormat()
{
    // A client whose initialisation failed is not tried again: a fresh one.
    wasapi::releaseInterface(m_client);
    HRESULT hr = m_device->Activate(__uuidof(IAudioClient), CLSCTX_INPROC_SERVER, nullptr,
                                    reinterpret_cast<void **>(&m_client));
    if (FAILED(hr))
        return hr;
    WAVEFORMATEX *mix = nullptr;
    hr = m_client->GetMixFormat(&mix);
    if (FAILED(hr))
        return hr;
    const std::optional<PcmConverter::Sample> sample = mixSample(*mix);
    if (sample)
        m_converter.emplace(*sample, int(mix->nChannels), int(mix->nSamplesPerSec));
    if (!m_converter || !m_converter->isValid()) {
        CoTaskMemFree(mix);
        m_converter.reset();
        return AUDCLNT_E_UNSUPPORTED_FORMAT;
    }
    m_path = FormatPath::MixFormat;
    hr = m_client->Initialize(AUDCLNT_SHAREMODE_SHARED, wasapi::eventDriven, wasapi::bufferDuration, 0, mix,
                              nullptr);
    if (FAILED(hr))
        m_converter.reset();
    CoTaskMemFree(mix);
    return hr;
}

void WasapiCaptureBackend::close()
{
    if (m_event) {
        CloseHandle(m_event);
        m_event = nullptr;
    }
    wasapi::releaseInterface(m_captureClient);
    wasapi::releaseInterface(m_client);
    wasapi::releaseInterface(m_device);
    wasapi::releaseInterface(m_enumerator);
    m_converter.reset();
    m_deviceId.clear();
    m_com.release();
}

bool WasapiCaptureBackend::isStillDefault()
{
    return m_deviceId.empty() || wasapi::defaultEndpointId(m_enumerator, eCapture) == m_deviceId;
}

bool WasapiCaptureBackend::start()
{
    if (!m_client)
        return false;
    if (m_converter)
        m_converter->reset();
    return noted(m_client->Start());
}

void WasapiCaptureBackend::stop()
{
    if (m_client)
        (void)m_client->Stop();
}

CaptureBackend::WaitResult WasapiCaptureBackend::wait(std::chrono::milliseconds timeout)
{
    return wasapi::waitForEvent(m_event, timeout);
}

void WasapiCaptureBackend::wake()
{
    if (m_event)
        SetEvent(m_event);
}

bool WasapiCaptureBackend::nextPacketSize(std::uint32_t &frames)
{
    UINT32 size = 0;
    frames = 0;
    if (!m_captureClient || !noted(m_captureClient->GetNextPacketSize(&size)))
        return false;
    frames = size;
    return true;
}

bool WasapiCaptureBackend::acquire(const std::int16_t *&data, std::uint32_t &frames)
{
    BYTE *buffer = nullptr;
    UINT32 count = 0;
    DWORD flags = 0;
    data = nullptr;
    frames = 0;
    m_borrowed = 0;
    if (!m_captureClient || !noted(m_captureClient->GetBuffer(&buffer, &count, &flags, nullptr, nullptr)))
        return false;
    m_borrowed = count;
    // A packet marked silent carries no meaningful data: deliver zeros.
    const bool silent = flags & AUDCLNT_BUFFERFLAGS_SILENT;
    if (m_converter) {
        const std::vector<std::int16_t> &converted = m_converter->convert(silent ? nullptr : buffer, count);
        data = converted.data();
        frames = static_cast<std::uint32_t>(converted.size());
    } else if (silent) {
        m_silence.assign(count, 0);
        data = m_silence.data();
        frames = count;
    } else {
        data = reinterpret_cast<const std::int16_t *>(buffer);
        frames = count;
    }
    return true;
}

bool WasapiCaptureBackend::release(std::uint32_t)
{
    // What was borrowed goes back, whatever the conversion made of it.
    const UINT32 frames = m_borrowed;
    m_borrowed = 0;
    return m_captureClient && noted(m_captureClient->ReleaseBuffer(frames));
}
