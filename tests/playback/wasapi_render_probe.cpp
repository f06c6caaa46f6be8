// Plays one second of a 440 Hz tone on the default output through the render
// device. Built by the Windows cross-compile check; runnable on Windows by hand.
#include "audiooutput.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <thread>

int main()
{
    AudioOutput device(makePlatformRenderBackend());
    if (!device.initialize()) {
        std::fprintf(stderr, "no render device\n");
        return 1;
    }
    double phase = 0;
    std::uint64_t remaining = AudioOutput::rate;
    device.setPullSamples([&phase, &remaining](std::int16_t *buffer, std::uint64_t frames) {
        for (std::uint64_t i = 0; i < frames; ++i) {
            buffer[i] = remaining > 0 ? static_cast<std::int16_t>(8000 * std::sin(phase)) : 0;
            phase += 2 * 3.141592653589793 * 440.0 / AudioOutput::rate;
            if (remaining > 0)
                --remaining;
        }
    });
    device.setVolume(0.5f);
    if (!device.start()) {
        std::fprintf(stderr, "the render device did not start\n");
        return 1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    device.stop();
    return device.wakeUps() > 0 ? 0 : 1;
}
