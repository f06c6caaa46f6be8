#include "wasapicapturebackend.h"

#include <iostream>

namespace {

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

WasapiCaptureBackend::WasapiCaptureBackend(std::ostream &errors) : m_errors(errors)
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
    if (message)
        wasapi::reportFailure(m_errors, message, result);
    close();
    return false;
}

bool WasapiCaptureBackend::open()
{
    close();
    if (!m_com.acquire())
        return false;

    wasapi::Step step = wasapi::Step::Enumerator;
    HRESULT hr = wasapi::activateDefaultClient(eCapture, m_enumerator, m_device, m_client, step);
    if (FAILED(hr))
        return fail(stepFailure(step), hr);

    WAVEFORMATEX format = wasapi::pcmFormat();
    // Only an exact match will do: a suggested closest format is never used.
    WAVEFORMATEX *closest = nullptr;
    hr = m_client->IsFormatSupported(AUDCLNT_SHAREMODE_SHARED, &format, &closest);
    if (closest)
        CoTaskMemFree(closest);
    if (hr != S_OK)
        return fail(nullptr, hr);

    hr = m_client->Initialize(AUDCLNT_SHAREMODE_SHARED, wasapi::eventDriven, wasapi::bufferDuration, 0,
                              &format, nullptr);
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
    m_com.release();
}

bool WasapiCaptureBackend::start()
{
    return m_client && SUCCEEDED(m_client->Start());
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
    if (!m_captureClient || FAILED(m_captureClient->GetNextPacketSize(&size)))
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
    if (!m_captureClient || FAILED(m_captureClient->GetBuffer(&buffer, &count, &flags, nullptr, nullptr)))
        return false;
    frames = count;
    // A packet marked silent carries no meaningful data: deliver zeros.
    if (flags & AUDCLNT_BUFFERFLAGS_SILENT) {
        m_silence.assign(count, 0);
        data = m_silence.data();
    } else {
        data = reinterpret_cast<const std::int16_t *>(buffer);
    }
    return true;
}

bool WasapiCaptureBackend::release(std::uint32_t frames)
{
    return m_captureClient && SUCCEEDED(m_captureClient->ReleaseBuffer(frames));
}
