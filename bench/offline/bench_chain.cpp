// Run by hand: build/default/bench/bench_chain [runs]
// The whole offline chain, from the end of speech to the first loud rendered
// sample, split by stage: recording tail (the quarter second after release
// and the closing of the stream), recognition, translation, synthesis and
// playback start. English is spoken into the recorder through ALSA's file
// plugin in real time; the player renders to a file through ALSA's null
// device, so playback start has no hardware latency in it.
#include "speechaudio.h"
#include "speechchain.h"

#include <QGuiApplication>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

struct Utterance
{
    const char *label;
    QString text;
};

void printStage(const char *name, std::vector<double> values)
{
    std::ranges::sort(values);
    std::printf("  %-16s median %7.1f ms  (min %7.1f, max %7.1f)\n", name, values[values.size() / 2],
                values.front(), values.back());
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;

    SpeechChain chain;
    QString error;
    if (!chain.start(&error)) {
        std::fprintf(stderr, "bench_chain: %s\n", qPrintable(error));
        return 1;
    }
    const Utterance utterances[] = {
        {"short sentence", QStringLiteral("Where is the train station?")},
        {"12-word sentence",
         QStringLiteral("I would like to buy two tickets for the next train to the city centre.")},
    };
    for (const Utterance &u : utterances) {
        const QByteArray pcm = speechaudio::spokenIntoMicrophone(u.text);
        std::printf("%s, %.1f s spoken: \"%s\"\n", u.label, double(pcm.size()) / 2 / 48000.0,
                    qPrintable(u.text));

        std::vector<double> tail, recognition, translation, synthesis, playback, total;
        for (int i = 0; i < runs; ++i) {
            const SpeechChain::Outcome o = chain.run(pcm, "en-US", "es-ES", "es-ES-AlvaroNeural");
            if (!o.error.isEmpty()) {
                std::printf("  run %d failed: %s\n", i + 1, qPrintable(o.error));
                continue;
            }
            if (i == 0)
                std::printf("  heard \"%s\", shown \"%s\"\n", qPrintable(o.recognised),
                            qPrintable(o.translated));
            tail.push_back(o.ms.tail);
            recognition.push_back(o.ms.recognition);
            translation.push_back(o.ms.translation);
            synthesis.push_back(o.ms.synthesis);
            playback.push_back(o.ms.playbackStart);
            total.push_back(o.ms.total());
        }
        if (total.empty())
            continue;
        printStage("recording tail", tail);
        printStage("recognition", recognition);
        printStage("translation", translation);
        printStage("synthesis", synthesis);
        printStage("playback start", playback);
        printStage("end to sound", total);
        std::printf("  (%zu of %d runs)\n", total.size(), runs);
    }
    return 0;
}
