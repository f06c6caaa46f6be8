// Run by hand: build/default/bench/bench_chain [runs]
// The whole offline chain, from the end of speech to the first loud rendered
// sample, split by stage: recording tail (the quarter second after release
// and the closing of the stream), recognition, translation, synthesis and
// playback start. English is spoken into the recorder through ALSA's file
// plugin in real time; the player renders to a file through ALSA's null
// device, so playback start has no hardware latency in it.
//
// Each utterance goes the old way and the new way in turn, in the same run:
// the old way sends the recording whole after the release, over connections
// with Nagle's algorithm on, and plays the reply once it is all there; the
// new way streams the recording while it is spoken, with TCP_NODELAY, and
// plays the reply as it arrives.
#include "speechaudio.h"
#include "speechchain.h"
#include "speedpath.h"

#include <QGuiApplication>
#include <QTest>

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

struct Stages
{
    std::vector<double> tail, recognition, translation, synthesis, playback, total;
    void add(const SpeechChain::Timings &ms)
    {
        tail.push_back(ms.tail);
        recognition.push_back(ms.recognition);
        translation.push_back(ms.translation);
        synthesis.push_back(ms.synthesis);
        playback.push_back(ms.playbackStart);
        total.push_back(ms.total());
    }
};

void printStage(const char *name, const std::vector<double> &old, const std::vector<double> &now)
{
    std::printf("  %-16s old median %7.1f ms  new median %7.1f ms\n", name, speedpath::median(old),
                speedpath::median(now));
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
        Stages old;
        Stages now;
        for (int i = 0; i < 2 * runs; ++i) {
            const bool streamed = i % 2 == 1;
            speedpath::choose(streamed);
            QTest::qWait(300);
            const SpeechChain::Outcome o = chain.run(pcm, "en-US", "es-ES", "es-ES-AlvaroNeural");
            if (!o.error.isEmpty()) {
                std::printf("  run %d (%s) failed: %s\n", i / 2 + 1, streamed ? "new" : "old",
                            qPrintable(o.error));
                continue;
            }
            if (i < 2)
                std::printf("  %s: heard \"%s\", shown \"%s\"\n", streamed ? "new" : "old",
                            qPrintable(o.recognised), qPrintable(o.translated));
            (streamed ? now : old).add(o.ms);
        }
        if (old.total.empty() || now.total.empty())
            continue;
        printStage("recording tail", old.tail, now.tail);
        printStage("recognition", old.recognition, now.recognition);
        printStage("translation", old.translation, now.translation);
        printStage("synthesis", old.synthesis, now.synthesis);
        printStage("playback start", old.playback, now.playback);
        printStage("end to sound", old.total, now.total);
        std::printf("  new/old end to sound %.2f (%zu old and %zu new runs, interleaved)\n",
                    speedpath::median(now.total) / speedpath::median(old.total), old.total.size(),
                    now.total.size());
    }
    speedpath::choose(true);
    return 0;
}
