#include "wasapirenderbackend.h"

#include <iostream>
#include <string>

namespace {

const char *stepFailure(wasapi::Step step)
{
    switch (step) {
    case wasapi::Step::Enumerator:
        return "CoCreateInstance failed";
    case wasapi::Step::Endpoint:
        return "GetDefaultAudioEndpoint failed";
    case wasapi::Step::Activate:
        return "Activate failed";
    case wasapi::Step::Event:
        return "SetEventHandle failed";
    }
    return nullptr;
}

} // namespace

WasapiRenderBackend::WasapiRenderBackend(std::ostream &errors) : m_errors(errors)
{}

WasapiRenderBackend::WasapiRenderBackend() : WasapiRenderBackend(std::cerr)
{}

WasapiRenderBackend::~WasapiRenderBackend()
{
    close();
}

// "AudioOutput Error: ", the message, " HR=0x" and the result code; none for
// the failures that are not worth a line.
bool WasapiRenderBackend::fail(const char *message, HRESULT result)
{
    noteFault(wasapi::faultOf(result));
    if (message)
        wasapi::reportFailure(m_errors, ("AudioOutput Error: " + std::string(message) + " HR=0x").c_str(),
                              result);
    close();
    return false;
}

// Whether a call succeeded; notes the fault if not.
bool WasapiRenderBackend::noted(HRESULT result)
{
    if (SUCCEEDED(result))
        return true;
    noteFault(wasapi::faultOf(result));
    return false;
}

bool WasapiRenderBackend::open()
{
    close();
    noteFault(DeviceFault::None);
    if (!m_com.acquire()) {
        noteFault(DeviceFault::Failed);
        return false;
    }

    wasapi::Step step = wasapi::Step::Enumerator;
    HRESULT hr = wasapi::activateDefaultClient(eRender, m_enumerator, m_device, m_client, step);
    if (FAILED(hr))
        return fail(stepFailure(step), hr);
    m_deviceId = wasapi::endpointId(m_device);
    WAVEFORMATEX format = wasapi::pcmFormat();
    // Taken as it is when the engine says so exactly; otherwise (a float
    // stereo mix, most often) the engine converts it.
    WAVEFORMATEX *closest = nullptr;
    hr = m_client->IsFormatSupported(AUDCLNT_SHAREMODE_SHARED, &format, &closest);
    CoTaskMemFree(closest);
    if (FAILED(hr) && endsDevice(wasapi::faultOf(hr)))
        return fail("IsFormatSupported failed", hr);
    m_converted = hr != S_OK;
    hr = m_client->Initialize(AUDCLNT_SHAREMODE_SHARED,
                              m_converted ? wasapi::eventDrivenConverted : wasapi::eventDriven,
                              wasapi::bufferDuration, 0, &format, nullptr);
    if (FAILED(hr))
        return fail("Initialize failed", hr);
    hr = wasapi::attachEvent(m_client, m_event);
    if (FAILED(hr))
        return fail(m_event ? stepFailure(wasapi::Step::Event) : nullptr, hr);
    hr = m_client->GetService(__uuidof(IAudioRenderClient), reinterpret_cast<void **>(&m_renderClient));
    if (FAILED(hr))
        return fail("GetService failed", hr);
    return true;
}

void WasapiRenderBackend::close()
{
    if (m_event) {
        CloseHandle(m_event);
        m_event = nullptr;
    }
    wasapi::releaseInterface(m_renderClient);
    wasapi::releaseInterface(m_client);
    wasapi::releaseInterface(m_device);
    wasapi::releaseInterface(m_enumerator);
    m_deviceId.clear();
    m_com.release();
}

bool WasapiRenderBackend::isStillDefault()
{
    return m_deviceId.empty() || wasapi::defaultEndpointId(m_enumerator, eRender) == m_deviceId;
}

bool WasapiRenderBackend::start()
{
    return m_client && noted(m_client->Start());
}

void WasapiRenderBackend::stop()
{
    if (!m_client)
        return;
    m_client->Stop();
    // Drop what is still queued so that the next start does not begin with
    // the tail of this sound.
    m_client->Reset();
}

bool WasapiRenderBackend::bufferFrames(std::uint32_t &frames)
{
    UINT32 size = 0;
    if (!m_client || !noted(m_client->GetBufferSize(&size)))
        return false;
    frames = size;
    return true;
}

RenderBackend::WaitResult WasapiRenderBackend::wait(std::chrono::milliseconds timeout)
{
    return wasapi::waitForEvent(m_event, timeout);
}

void WasapiRenderBackend::wake()
{
    if (m_event)
        SetEvent(m_event);
}

bool WasapiRenderBackend::queuedFrames(std::uint32_t &frames)
{
    UINT32 padding = 0;
    if (!m_client || !noted(m_client->GetCurrentPadding(&padding)))
        return false;
    frames = padding;
    return true;
}

std::int16_t *WasapiRenderBackend::acquire(std::uint32_t frames)
{
    BYTE *data = nullptr;
    if (!m_renderClient || !noted(m_renderClient->GetBuffer(frames, &data)))
        return nullptr;
    return reinterpret_cast<std::int16_t *>(data);
}

bool WasapiRenderBackend::release(std::uint32_t frames)
{
    return m_renderClient && noted(m_renderClient->ReleaseBuffer(frames, 0));
}
