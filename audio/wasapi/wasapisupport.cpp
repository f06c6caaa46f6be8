#include "wasapisupport.h"

#include <cstdint>
#include <ostream>

namespace wasapi {

namespace {
// Device set-ups on this thread that still hold COM initialised.
thread_local int comUsers = 0;
constexpr DWORD apartment = COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE;
} // namespace

WAVEFORMATEX pcmFormat()
{
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 1;
    format.nSamplesPerSec = 48000;
    format.wBitsPerSample = 16;
    format.nBlockAlign = format.nChannels * format.wBitsPerSample / 8;
    format.nAvgBytesPerSec = format.nSamplesPerSec * format.nBlockAlign;
    format.cbSize = 0;
    return format;
}

bool ComUse::acquire()
{
    if (m_held)
        return true;
    if (comUsers == 0 && FAILED(CoInitializeEx(nullptr, apartment)))
        return false;
    ++comUsers;
    m_thread = std::this_thread::get_id();
    m_held = true;
    return true;
}

void ComUse::release()
{
    if (!m_held)
        return;
    m_held = false;
    if (m_thread == std::this_thread::get_id() && comUsers > 0 && --comUsers == 0)
        CoUninitialize();
}

HRESULT activateDefaultClient(EDataFlow flow, IMMDeviceEnumerator *&enumerator, IMMDevice *&device,
                              IAudioClient *&client, Step &failed)
{
    failed = Step::Enumerator;
    HRESULT hr = CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_INPROC_SERVER,
                                  __uuidof(IMMDeviceEnumerator), reinterpret_cast<void **>(&enumerator));
    if (FAILED(hr))
        return hr;
    failed = Step::Endpoint;
    hr = enumerator->GetDefaultAudioEndpoint(flow, eConsole, &device);
    if (FAILED(hr))
        return hr;
    failed = Step::Activate;
    return device->Activate(__uuidof(IAudioClient), CLSCTX_INPROC_SERVER, nullptr,
                            reinterpret_cast<void **>(&client));
}

DeviceFault faultOf(HRESULT result)
{
    if (SUCCEEDED(result))
        return DeviceFault::None;
    if (result == AUDCLNT_E_DEVICE_INVALIDATED)
        return DeviceFault::Lost;
    if (result == E_ACCESSDENIED)
        return DeviceFault::Denied;
    if (result == AUDCLNT_E_DEVICE_IN_USE)
        return DeviceFault::InUse;
    if (result == E_NOTFOUND || result == AUDCLNT_E_ENDPOINT_CREATE_FAILED)
        return DeviceFault::Missing;
    return DeviceFault::Failed;
}

std::wstring endpointId(IMMDevice *device)
{
    LPWSTR id = nullptr;
    if (!device || FAILED(device->GetId(&id)) || !id)
        return {};
    std::wstring copy(id);
    CoTaskMemFree(id);
    return copy;
}

std::wstring defaultEndpointId(IMMDeviceEnumerator *enumerator, EDataFlow flow)
{
    IMMDevice *device = nullptr;
    if (!enumerator || FAILED(enumerator->GetDefaultAudioEndpoint(flow, eConsole, &device)))
        return {};
    std::wstring id = endpointId(device);
    releaseInterface(device);
    return id;
}

HRESULT attachEvent(IAudioClient *client, HANDLE &event)
{
    event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (!event)
        return HRESULT_FROM_WIN32(GetLastError());
    return client->SetEventHandle(event);
}

DeviceWait waitForEvent(HANDLE event, std::chrono::milliseconds timeout)
{
    if (!event)
        return DeviceWait::Failed;
    switch (WaitForSingleObject(event, static_cast<DWORD>(timeout.count()))) {
    case WAIT_OBJECT_0:
        return DeviceWait::Ready;
    case WAIT_TIMEOUT:
        return DeviceWait::TimedOut;
    default:
        return DeviceWait::Failed;
    }
}

void reportFailure(std::ostream &errors, const char *text, HRESULT result)
{
    const std::ios::fmtflags flags = errors.flags();
    errors << text << std::hex << static_cast<unsigned long>(static_cast<std::uint32_t>(result)) << '\n';
    errors.flags(flags);
}

} // namespace wasapi
