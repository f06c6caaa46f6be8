#include "wasapicapturebackend.h"

#include <windows.h>

#include <audioclient.h>
#include <mmdeviceapi.h>

#include <iostream>

namespace {
// Device set-ups on this thread that still hold COM initialised.
thread_local int comUsers = 0;

constexpr DWORD apartmentNoOle1Dde = COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE; // 6
constexpr DWORD eventCallback = AUDCLNT_STREAMFLAGS_EVENTCALLBACK;                      // 0x40000
constexpr REFERENCE_TIME bufferDuration = 100000; // 10 ms in 100-ns units

bool acquireCom()
{
    if (comUsers++ == 0 && FAILED(CoInitializeEx(nullptr, apartmentNoOle1Dde))) {
        --comUsers;
        return false;
    }
    return true;
}

void releaseCom()
{
    if (comUsers > 0 && --comUsers == 0)
        CoUninitialize();
}

template <typename T> void releaseInterface(T *&object)
{
    if (object) {
        object->Release();
        object = nullptr;
    }
}
} // namespace

WasapiCaptureBackend::WasapiCaptureBackend(std::ostream &errors) : errors(errors)
{}

WasapiCaptureBackend::WasapiCaptureBackend() : WasapiCaptureBackend(std::cerr)
{}

WasapiCaptureBackend::~WasapiCaptureBackend()
{
    close();
}

bool WasapiCaptureBackend::fail(const char *message, long result)
{
    if (message) {
        const std::ios::fmtflags flags = errors.flags();
        errors << message << std::hex << static_cast<unsigned long>(static_cast<std::uint32_t>(result))
               << '\n';
        errors.flags(flags);
    }
    releaseAll();
    return false;
}

bool WasapiCaptureBackend::open()
{
    close();
    if (!acquireCom())
        return false;
    comCounted = true;

    HRESULT hr = CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_INPROC_SERVER,
                                  __uuidof(IMMDeviceEnumerator), reinterpret_cast<void **>(&enumerator));
    if (FAILED(hr))
        return fail("CoCreateInstance failed", hr);
    hr = enumerator->GetDefaultAudioEndpoint(eCapture, eConsole, &device);
    if (FAILED(hr))
        return fail("GetDefaultAudioEndpoint failed", hr);
    hr = device->Activate(__uuidof(IAudioClient), CLSCTX_INPROC_SERVER, nullptr,
                          reinterpret_cast<void **>(&client));
    if (FAILED(hr))
        return fail("Device activate failed", hr);

    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 1;
    format.nSamplesPerSec = 48000;
    format.nAvgBytesPerSec = 96000;
    format.nBlockAlign = 2;
    format.wBitsPerSample = 16;
    format.cbSize = 0;

    // Only an exact match will do: a suggested closest format is never used.
    WAVEFORMATEX *closest = nullptr;
    hr = client->IsFormatSupported(AUDCLNT_SHAREMODE_SHARED, &format, &closest);
    if (closest)
        CoTaskMemFree(closest);
    if (hr != S_OK)
        return fail(nullptr, hr);

    hr = client->Initialize(AUDCLNT_SHAREMODE_SHARED, eventCallback, bufferDuration, 0, &format, nullptr);
    if (FAILED(hr))
        return fail("IAudioClient_Initialize failed", hr);

    event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (!event)
        return fail(nullptr, 0);
    hr = client->SetEventHandle(static_cast<HANDLE>(event));
    if (FAILED(hr))
        return fail("SetEventHandle failed", hr);
    hr = client->GetService(__uuidof(IAudioCaptureClient), reinterpret_cast<void **>(&captureClient));
    if (FAILED(hr))
        return fail("GetService failed", hr);
    return true;
}

void WasapiCaptureBackend::releaseAll()
{
    if (event) {
        CloseHandle(static_cast<HANDLE>(event));
        event = nullptr;
    }
    releaseInterface(captureClient);
    releaseInterface(client);
    releaseInterface(device);
    releaseInterface(enumerator);
    if (comCounted) {
        comCounted = false;
        releaseCom();
    }
}

void WasapiCaptureBackend::close()
{
    releaseAll();
}

bool WasapiCaptureBackend::start()
{
    return client && SUCCEEDED(client->Start());
}

void WasapiCaptureBackend::stop()
{
    if (client)
        (void)client->Stop();
}

CaptureBackend::WaitResult WasapiCaptureBackend::wait(std::chrono::milliseconds timeout)
{
    if (!event)
        return WaitResult::Failed;
    switch (WaitForSingleObject(static_cast<HANDLE>(event), static_cast<DWORD>(timeout.count()))) {
    case WAIT_OBJECT_0:
        return WaitResult::Ready;
    case WAIT_TIMEOUT:
        return WaitResult::Timeout;
    default:
        return WaitResult::Failed;
    }
}

void WasapiCaptureBackend::wake()
{
    if (event)
        SetEvent(static_cast<HANDLE>(event));
}

bool WasapiCaptureBackend::nextPacketSize(std::uint32_t &frames)
{
    UINT32 size = 0;
    frames = 0;
    if (!captureClient || FAILED(captureClient->GetNextPacketSize(&size)))
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
    if (!captureClient || FAILED(captureClient->GetBuffer(&buffer, &count, &flags, nullptr, nullptr)))
        return false;
    frames = count;
    // A packet marked silent carries no meaningful data: deliver zeros.
    if (flags & AUDCLNT_BUFFERFLAGS_SILENT) {
        silence.assign(count, 0);
        data = silence.data();
    } else {
        data = reinterpret_cast<const std::int16_t *>(buffer);
    }
    return true;
}

bool WasapiCaptureBackend::release(std::uint32_t frames)
{
    return captureClient && SUCCEEDED(captureClient->ReleaseBuffer(frames));
}
