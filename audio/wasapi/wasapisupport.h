#pragma once

// What the WASAPI capture and render back ends share: COM for the thread
// that opens a device, interface release, the stream flags, the 48 kHz mono
// 16-bit format and the report of a failed call. Plain Win32 and COM, no Qt.

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <audioclient.h>
#include <mmdeviceapi.h>

#include "devicefault.h"
#include "devicewait.h"

#include <chrono>
#include <iosfwd>
#include <string>
#include <thread>

namespace wasapi {

// Shared mode, driven by the buffer-ready event.
inline constexpr DWORD eventDriven = AUDCLNT_STREAMFLAGS_EVENTCALLBACK;
// The same, and the audio engine converts our format to its mix format.
inline constexpr DWORD eventDrivenConverted = AUDCLNT_STREAMFLAGS_AUTOCONVERTPCM |
                                              AUDCLNT_STREAMFLAGS_SRC_DEFAULT_QUALITY |
                                              AUDCLNT_STREAMFLAGS_EVENTCALLBACK;
// 10 ms in 100-nanosecond units.
inline constexpr REFERENCE_TIME bufferDuration = 100000;

// 48000 Hz, one channel, 16-bit PCM: what the capture and render logic use.
[[nodiscard]] WAVEFORMATEX pcmFormat();

// COM initialised for one device, on the thread that opened it; given back
// there only (a device torn down on another thread, at process exit say,
// leaves that thread's COM alone). Devices on one thread share one count.
class ComUse
{
public:
    ComUse() = default;
    ComUse(const ComUse &) = delete;
    ComUse &operator=(const ComUse &) = delete;
    ~ComUse() { release(); }

    [[nodiscard]] bool acquire();
    void release();

private:
    std::thread::id m_thread;
    bool m_held = false;
};

template <typename T> void releaseInterface(T *&object)
{
    if (object) {
        object->Release();
        object = nullptr;
    }
}

// The steps of setting up a device's audio client, for each side to word
// its own failure messages.
enum class Step
{
    Enumerator, // creating the device enumerator
    Endpoint,   // the default console endpoint
    Activate,   // activating the audio client on it
    Event,      // attaching the buffer-ready event
};

// Activates an audio client on the default console endpoint of `flow`;
// on failure `failed` names the step and its result is returned.
[[nodiscard]] HRESULT activateDefaultClient(EDataFlow flow, IMMDeviceEnumerator *&enumerator,
                                            IMMDevice *&device, IAudioClient *&client, Step &failed);

// What a failed call's result means for the user.
[[nodiscard]] DeviceFault faultOf(HRESULT result);

// The endpoint id of `device`, or of the default console endpoint of `flow`;
// empty when there is none.
[[nodiscard]] std::wstring endpointId(IMMDevice *device);
[[nodiscard]] std::wstring defaultEndpointId(IMMDeviceEnumerator *enumerator, EDataFlow flow);

// Creates the buffer-ready event and gives it to the client.
[[nodiscard]] HRESULT attachEvent(IAudioClient *client, HANDLE &event);

// Waits for the buffer-ready event of a device.
[[nodiscard]] DeviceWait waitForEvent(HANDLE event, std::chrono::milliseconds timeout);

// One line on `errors`: `text`, then the result code in lower-case
// hexadecimal (each side words its messages its own way).
void reportFailure(std::ostream &errors, const char *text, HRESULT result);

} // namespace wasapi
