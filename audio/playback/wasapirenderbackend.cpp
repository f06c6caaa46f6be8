#include "wasapirenderbackend.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <audioclient.h>
#include <mmdeviceapi.h>

#include <cstdio>

namespace {
// Render device set-ups on this thread that still hold COM initialised
// (separate from the capture device's count).
thread_local int renderComUsers = 0;

constexpr DWORD streamFlags = 0x88040000;         // auto PCM conversion, default-quality SRC, event callback
constexpr REFERENCE_TIME bufferDuration = 100000; // 10 ms in 100-ns units

void report(const char *message, HRESULT hr)
{
    std::fprintf(stderr, "AudioOutput Error: %s HR=0x%lx\n", message, static_cast<unsigned long>(hr));
}

template <typename T> void releaseInterface(T *&p)
{
    if (p) {
        p->Release();
        p = nullptr;
    }
}
} // namespace

WasapiRenderBackend::~WasapiRenderBackend()
{
    close();
}

bool WasapiRenderBackend::open()
{
    if (renderComUsers++ == 0) {
        if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE))) {
            --renderComUsers;
            return false;
        }
    }
    m_comThread = std::this_thread::get_id();
    m_comCounted = true;

    HRESULT hr = CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_INPROC_SERVER,
                                  __uuidof(IMMDeviceEnumerator), reinterpret_cast<void **>(&m_enumerator));
    if (FAILED(hr)) {
        report("CoCreateInstance failed", hr);
        close();
        return false;
    }
    hr = m_enumerator->GetDefaultAudioEndpoint(eRender, eConsole, &m_device);
    if (FAILED(hr)) {
        report("GetDefaultAudioEndpoint failed", hr);
        close();
        return false;
    }
    hr = m_device->Activate(__uuidof(IAudioClient), CLSCTX_INPROC_SERVER, nullptr,
                            reinterpret_cast<void **>(&m_client));
    if (FAILED(hr)) {
        report("Activate failed", hr);
        close();
        return false;
    }
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 1;
    format.nSamplesPerSec = 48000;
    format.nAvgBytesPerSec = 96000;
    format.nBlockAlign = 2;
    format.wBitsPerSample = 16;
    format.cbSize = 0;
    // No format check first: the conversion flags let the engine adapt it.
    hr = m_client->Initialize(AUDCLNT_SHAREMODE_SHARED, streamFlags, bufferDuration, 0, &format, nullptr);
    if (FAILED(hr)) {
        report("Initialize failed", hr);
        close();
        return false;
    }
    m_event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (!m_event) {
        close();
        return false;
    }
    hr = m_client->SetEventHandle(static_cast<HANDLE>(m_event));
    if (FAILED(hr)) {
        report("SetEventHandle failed", hr);
        close();
        return false;
    }
    hr = m_client->GetService(__uuidof(IAudioRenderClient), reinterpret_cast<void **>(&m_renderClient));
    if (FAILED(hr)) {
        report("GetService failed", hr);
        close();
        return false;
    }
    return true;
}

void WasapiRenderBackend::close()
{
    if (m_event) {
        CloseHandle(static_cast<HANDLE>(m_event));
        m_event = nullptr;
    }
    releaseInterface(m_renderClient);
    releaseInterface(m_client);
    releaseInterface(m_device);
    releaseInterface(m_enumerator);
    // Only the opening thread's count is ours to give back; a device torn
    // down elsewhere (at process exit) leaves that thread's COM alone.
    if (m_comCounted && m_comThread == std::this_thread::get_id() && renderComUsers > 0) {
        if (--renderComUsers == 0)
            CoUninitialize();
    }
    m_comCounted = false;
}

bool WasapiRenderBackend::start()
{
    return SUCCEEDED(m_client->Start());
}

void WasapiRenderBackend::stop()
{
    m_client->Stop();
    // Drop what is still queued so that the next start does not begin with
    // the tail of this sound.
    m_client->Reset();
}

bool WasapiRenderBackend::bufferFrames(std::uint32_t &frames)
{
    UINT32 size = 0;
    if (FAILED(m_client->GetBufferSize(&size)))
        return false;
    frames = size;
    return true;
}

RenderBackend::Wait WasapiRenderBackend::waitReady(std::chrono::milliseconds timeout)
{
    switch (WaitForSingleObject(static_cast<HANDLE>(m_event), static_cast<DWORD>(timeout.count()))) {
    case WAIT_OBJECT_0:
        return Wait::Ready;
    case WAIT_TIMEOUT:
        return Wait::TimedOut;
    default:
        return Wait::Failed;
    }
}

void WasapiRenderBackend::wake()
{
    if (m_event)
        SetEvent(static_cast<HANDLE>(m_event));
}

bool WasapiRenderBackend::queuedFrames(std::uint32_t &frames)
{
    UINT32 padding = 0;
    if (FAILED(m_client->GetCurrentPadding(&padding)))
        return false;
    frames = padding;
    return true;
}

std::int16_t *WasapiRenderBackend::acquire(std::uint32_t frames)
{
    BYTE *data = nullptr;
    if (FAILED(m_renderClient->GetBuffer(frames, &data)))
        return nullptr;
    return reinterpret_cast<std::int16_t *>(data);
}

bool WasapiRenderBackend::release(std::uint32_t frames)
{
    return SUCCEEDED(m_renderClient->ReleaseBuffer(frames, 0));
}
