// Plays a known second of sound on the default output through the Windows
// layer and the real AudioOutput at half volume, and checks what the device
// received. Cross-compiled by the windows tests and run under Wine, whose
// default output is the ALSA file device writing TOLKA_RENDER_FILE
// (tools/sound/file-devices.conf); runnable on Windows by hand without
// options.
//
//   --rendered RAW         after the device is closed, RAW must hold the
//                          sound scaled by the volume, sample for sample,
//                          with nothing but silence around it (and, from a
//                          device without a clock that runs ahead of a busy
//                          machine, silence inside it where it underran)
//   --expect-fault NAME    the set-up must fail with that fault
#include "audiooutput.h"
#include "wasapiprobe.h"
#include "wasapirenderbackend.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <thread>
#include <vector>

namespace {

constexpr float volume = 0.5f;

// A 440 Hz tone with a little ramp on it, never zero, so that it stands
// apart from any silence in the rendered file.
std::vector<std::int16_t> knownSound()
{
    std::vector<std::int16_t> sound(AudioOutput::rate);
    for (std::size_t i = 0; i < sound.size(); ++i) {
        const double tone =
            8000 * std::sin(2 * 3.141592653589793 * 440.0 * double(i) / AudioOutput::rate + 0.3);
        const auto value = static_cast<std::int16_t>(tone + double(i % 7) + 4);
        // Not even at half volume (which truncates toward zero).
        sound[i] = value >= 2 || value <= -2 ? value : std::int16_t(value < 0 ? -2 : 2);
    }
    return sound;
}

} // namespace

int main(int argc, char **argv)
{
    const wasapiprobe::Options options(argc, argv);
    auto backend = std::make_unique<WasapiRenderBackend>(std::cerr);
    WasapiRenderBackend *layer = backend.get();
    auto device = std::make_unique<AudioOutput>(std::move(backend));

    if (const auto expected = options.value("--expect-fault"))
        return wasapiprobe::expectSetUpFault(*device, *expected);
    if (!device->initialize()) {
        std::printf("no render device: %s\n", wasapiprobe::faultName(device->fault()));
        return 1;
    }
    std::printf("format: %s\n", layer->isConverted() ? "converted by the engine" : "taken as it is");

    const std::vector<std::int16_t> sound = knownSound();
    std::size_t next = 0;
    std::atomic<bool> done{false};
    // Frames handed to the device in all, silence after the sound included.
    std::atomic<std::uint64_t> pulled{0};
    device->setPullSamples([&](std::int16_t *buffer, std::uint64_t frames) {
        for (std::uint64_t i = 0; i < frames; ++i)
            buffer[i] = next < sound.size() ? sound[next++] : 0;
        if (next == sound.size())
            done.store(true);
        pulled.fetch_add(frames);
    });
    device->setVolume(volume);
    std::uint32_t bufferFrames = 0;
    if (!layer->bufferFrames(bufferFrames) || !device->start()) {
        std::printf("the render device did not start: %s\n", wasapiprobe::faultName(device->fault()));
        return 1;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done.load() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    // Once a whole buffer of silence more has been asked for, the device has
    // taken every frame of the sound out of its buffer (a stop drops what is
    // still queued).
    const std::uint64_t end = pulled.load() + bufferFrames + 1;
    while (pulled.load() < end && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    device->stop();
    const bool played = done.load();
    // Closing the device closes the file it writes to.
    device.reset();
    std::printf("played %s\n", played ? "the whole sound" : "only part of the sound");
    if (!played)
        return 1;

    const auto renderedPath = options.value("--rendered");
    if (!renderedPath)
        return 0;
    const std::vector<std::int16_t> rendered = wasapiprobe::readSamples(*renderedPath);
    std::vector<std::int16_t> expected = sound;
    AudioOutput::applyVolume(expected.data(), expected.size(), volume);
    // The sound has no zero sample: what is zero is silence the device
    // played around it (or inside it, where it ran dry).
    std::vector<std::int16_t> sounding;
    for (std::int16_t sample : rendered)
        if (sample != 0)
            sounding.push_back(sample);
    const std::size_t silent = rendered.size() - sounding.size();
    std::size_t differing = 0;
    for (std::size_t i = 0; i < std::min(sounding.size(), expected.size()); ++i)
        differing += sounding[i] != expected[i];
    std::printf(
        "rendered %zu samples, %zu silent; of the rest, %zu of %zu differ from the sound (%zu expected)\n",
        rendered.size(), silent, differing, sounding.size(), expected.size());
    return differing == 0 && sounding.size() == expected.size() ? 0 : 1;
}
