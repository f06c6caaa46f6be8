// Records from the default microphone through the Windows layer and the real
// AudioInput, and checks what arrived. Cross-compiled by the windows tests
// and run under Wine, whose default microphone is the ALSA file device
// reading TOLKA_MIC_FILE (tools/sound/file-devices.conf); runnable on Windows
// by hand without options.
//
//   --path exact|converted|mix  how the format is agreed (default: all in turn)
//   --expect RAW                every loud 10 ms block captured must be RAW's,
//                               sample for sample, each after the one before;
//                               whole blocks may be missing between them (a
//                               device without a clock, read at the pace of
//                               Wine's timer, overruns on a busy machine)
//   --out RAW                   writes what was captured
//   --expect-fault NAME         the set-up must fail with that fault
#include "audioinput.h"
#include "wasapicapturebackend.h"
#include "wasapiprobe.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <mutex>
#include <vector>

namespace {

using Path = WasapiCaptureBackend::FormatPath;

const char *pathName(Path path)
{
    switch (path) {
    case Path::Exact:
        return "exact";
    case Path::Converted:
        return "converted";
    case Path::MixFormat:
        return "mix";
    }
    return "?";
}

// Every loud block of `captured` must lie in `reference`, each after the one
// before; gives the number of blocks matched, or none if one does not match.
std::optional<std::size_t> blocksIn(const std::vector<std::int16_t> &reference,
                                    const std::vector<std::int16_t> &captured, std::size_t &skipped)
{
    constexpr std::size_t block = 480;
    std::size_t from = 0;
    std::size_t matched = 0;
    skipped = 0;
    for (std::size_t at = 0; at + block <= captured.size(); at += block) {
        const auto begin = captured.begin() + long(at);
        if (std::none_of(begin, begin + long(block), [](std::int16_t v) { return std::abs(v) >= 2000; }))
            continue; // quiet blocks would match in many places
        const auto found =
            std::search(reference.begin() + long(from), reference.end(), begin, begin + long(block));
        if (found == reference.end())
            return std::nullopt;
        const auto position = std::size_t(found - reference.begin());
        skipped += (position - from) / block;
        from = position + block;
        ++matched;
    }
    return matched;
}

int record(Path first, const wasapiprobe::Options &options)
{
    auto backend = std::make_unique<WasapiCaptureBackend>(std::cerr, first);
    WasapiCaptureBackend *layer = backend.get();
    AudioInput device(std::move(backend));

    if (const auto expected = options.value("--expect-fault"))
        return wasapiprobe::expectSetUpFault(device, *expected);
    if (!device.initialize()) {
        std::printf("the microphone could not be set up: %s\n", wasapiprobe::faultName(device.fault()));
        return 1;
    }
    std::printf("format agreed: %s (asked for %s)\n", pathName(layer->formatPath()), pathName(first));

    constexpr std::size_t wanted = AudioInput::defaultRate; // one second
    std::mutex mutex;
    std::condition_variable arrived;
    std::vector<std::int16_t> captured;
    int stops = 0;
    device.setCallbacks(
        [&](const std::int16_t *samples, std::uint64_t frames) {
            std::lock_guard lock(mutex);
            captured.insert(captured.end(), samples, samples + frames);
            arrived.notify_all();
        },
        [&] {
            std::lock_guard lock(mutex);
            ++stops;
        });
    if (!device.start()) {
        std::printf("the microphone did not start: %s\n", wasapiprobe::faultName(device.fault()));
        return 1;
    }
    {
        std::unique_lock lock(mutex);
        arrived.wait_for(lock, std::chrono::seconds(10), [&] { return captured.size() >= wanted; });
    }
    device.stop();

    std::lock_guard lock(mutex);
    std::printf("captured %zu frames, stopped %d time(s)\n", captured.size(), stops);
    if (captured.size() < wanted || stops != 1)
        return 1;
    if (const auto out = options.value("--out"); out && !wasapiprobe::writeSamples(*out, captured)) {
        std::printf("cannot write %s\n", out->c_str());
        return 1;
    }
    const auto expect = options.value("--expect");
    if (!expect)
        return 0;
    const std::vector<std::int16_t> reference = wasapiprobe::readSamples(*expect);
    std::size_t skipped = 0;
    const std::optional<std::size_t> matched = blocksIn(reference, captured, skipped);
    if (reference.empty() || !matched) {
        std::printf("a captured block is not in %s (%zu samples)\n", expect->c_str(), reference.size());
        return 1;
    }
    std::printf("%zu loud blocks of %zu found unchanged, in order; fixture blocks missed between them: %zu\n",
                *matched, captured.size() / 480, skipped);
    // A second of speech holds far more loud blocks than this.
    return *matched >= 10 ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    const wasapiprobe::Options options(argc, argv);
    const auto path = options.value("--path");
    if (!path) {
        int failed = 0;
        for (Path first : {Path::Exact, Path::Converted, Path::MixFormat})
            failed += record(first, options);
        return failed == 0 ? 0 : 1;
    }
    for (Path first : {Path::Exact, Path::Converted, Path::MixFormat})
        if (*path == pathName(first))
            return record(first, options);
    std::printf("unknown --path %s\n", path->c_str());
    return 2;
}
