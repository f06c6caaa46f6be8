// Run by hand: build/default/bench/bench_offline
// Latency of each offline engine, called directly, for a 12-word sentence
// and a 3-second utterance: median, fastest and slowest of a few runs.
#include "apertiumtranslation.h"
#include "espeaksynthesis.h"
#include "pocketsphinxrecognition.h"
#include "resampler.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <vector>

using namespace std::chrono_literals;

namespace {

constexpr int runs = 5;
const QString sentence =
    QStringLiteral("I would like to buy two tickets for the next train to the city centre.");

void report(const char *what, const std::function<bool()> &operation)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        if (!operation()) {
            std::printf("%-48s failed\n", what);
            return;
        }
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::ranges::sort(times);
    std::printf("%-48s median %7.1f ms  (min %7.1f, max %7.1f, %d runs)\n", what, times[times.size() / 2],
                times.front(), times.back(), runs);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    EspeakSynthesis synthesis;
    PocketsphinxRecognition recognition;
    ApertiumTranslation translation;

    std::printf("12-word sentence: \"%s\"\n", qPrintable(sentence));
    report("synthesis en-US, rate 0.8 (speech + Opus)", [&] {
        return synthesis.synthesize({sentence, QStringLiteral("en-US"), {}, 0.8}, QDeadlineTimer(60s))
            .has_value();
    });
    report("translation en-US > es-ES (direct)", [&] {
        return translation
            .translate(sentence, QStringLiteral("en-US"), QStringLiteral("es-ES"), QDeadlineTimer(60s))
            .has_value();
    });
    report("translation en-US > fr-FR (through Spanish)", [&] {
        return translation
            .translate(sentence, QStringLiteral("en-US"), QStringLiteral("fr-FR"), QDeadlineTimer(60s))
            .has_value();
    });

    // A 3-second utterance: espeak-ng speech, trimmed or padded to 3 s.
    const auto spoken = synthesis.speak({sentence, QStringLiteral("en-US"), {}, 1.0});
    if (!spoken) {
        std::printf("no speech to recognise\n");
        return 1;
    }
    std::vector<float> samples(spoken->begin(), spoken->end());
    samples.resize(3 * 24000, 0.0f);
    std::vector<qint16> pcm16k;
    for (const float s : resample(samples, 24000, 16000))
        pcm16k.push_back(qint16(std::clamp(std::lround(s), -32768L, 32767L)));
    report("recognition of 3 s (16 kHz PCM, pocketsphinx)",
           [&] { return recognition.recognizePcm(pcm16k, QDeadlineTimer(60s)).has_value(); });
    report("resampling 3 s 48 kHz > 16 kHz", [&] {
        std::vector<float> at48k(3 * 48000, 0.25f);
        return !resample(at48k, 48000, 16000).empty();
    });
    return 0;
}
