#pragma once

#include "renderbackend.h"

#include <thread>

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
    WasapiRenderBackend() = default;
    ~WasapiRenderBackend() override;

    bool open() override;
    void close() override;
    bool start() override;
    void stop() override;
    bool bufferFrames(std::uint32_t &frames) override;
    Wait waitReady(std::chrono::milliseconds timeout) override;
    void wake() override;
    bool queuedFrames(std::uint32_t &frames) override;
    std::int16_t *acquire(std::uint32_t frames) override;
    bool release(std::uint32_t frames) override;

private:
    IMMDeviceEnumerator *m_enumerator = nullptr;
    IMMDevice *m_device = nullptr;
    IAudioClient *m_client = nullptr;
    IAudioRenderClient *m_renderClient = nullptr;
    void *m_event = nullptr;
    // COM is counted as initialised on the thread that opened the device.
    std::thread::id m_comThread;
    bool m_comCounted = false;
};
