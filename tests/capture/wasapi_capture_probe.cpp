// Opens the default microphone through the Windows layer and prints the sizes
// of the first captured packets. Built by the cross-compile check; run it on
// Windows (or under Wine) to see the device logic at work.
#include "audioinput.h"
#include "wasapicapturebackend.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <vector>

int main()
{
    AudioInput device(std::make_unique<WasapiCaptureBackend>());
    if (!device.initialize()) {
        std::puts("the default microphone could not be set up");
        return 1;
    }
    std::mutex mutex;
    std::condition_variable arrived;
    std::vector<std::uint64_t> sizes;
    device.setCallbacks(
        [&](const std::int16_t *, std::uint64_t frames) {
            std::lock_guard lock(mutex);
            if (sizes.size() < 10)
                sizes.push_back(frames);
            arrived.notify_all();
        },
        [] { std::puts("stopped"); });
    if (!device.start()) {
        std::puts("the microphone did not start");
        return 1;
    }
    {
        std::unique_lock lock(mutex);
        arrived.wait_for(lock, std::chrono::seconds(2), [&] { return sizes.size() >= 10; });
    }
    device.stop();
    std::lock_guard lock(mutex);
    for (std::uint64_t size : sizes)
        std::printf("packet of %llu frames\n", static_cast<unsigned long long>(size));
    return sizes.empty() ? 1 : 0;
}
