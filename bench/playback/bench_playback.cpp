// Playback figures, run by hand (not part of the test suite):
//  1. decoding speed of synthesis replies, in seconds of speech per CPU second,
//     beside opusdec decoding the same packets (wrapped in Ogg) in the same run;
//  2. time from the arrival of a reply to the first samples handed to the
//     render device, for 1, 5 and 20-second replies, side by side: handed on
//     whole (speechReady, decoded whole before it plays) and in pieces as
//     they are read (speechPieceReady: 200 ms pieces back to back, and the
//     whole reply in one piece, as one read of a fast connection may give);
//  3. render-thread wake-ups per second while idle.
// By default the render device is ALSA's null PCM (through the test
// configuration); set TOLKA_BENCH_REAL_DEVICE=1 to use the real default device.
#include "audiooutput.h"
#include "messenger.h"
#include "oggopus.h"
#include "onthread.h"
#include "opuspackets.h"
#include "output.h"
#include "playbackstate.h"
#include "renderdevice.h"
#include "speaker.h"
#include "speechdecoder.h"
#include "speechpiece.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <opus.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>
#include <vector>

namespace {
using Clock = std::chrono::steady_clock;

double threadCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

double childrenCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    auto seconds = [](const timeval &tv) { return double(tv.tv_sec) + double(tv.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Wraps the platform backend and notes when the first samples after arming
// are handed over, and how often the render thread waits.
class TimingBackend final : public RenderBackend
{
public:
    static inline std::atomic<bool> armed{false};
    static inline std::atomic<Clock::rep> firstRelease{0};
    static inline std::atomic<int> stops{0};
    static inline std::atomic<std::uint64_t> waits{0};

    TimingBackend() : inner(makePlatformRenderBackend()) {}
    bool open() override { return inner->open(); }
    void close() override { inner->close(); }
    bool start() override { return inner->start(); }
    void stop() override
    {
        inner->stop();
        ++stops;
    }
    bool bufferFrames(std::uint32_t &f) override { return inner->bufferFrames(f); }
    WaitResult wait(std::chrono::milliseconds t) override
    {
        ++waits;
        return inner->wait(t);
    }
    void wake() override { inner->wake(); }
    bool queuedFrames(std::uint32_t &f) override { return inner->queuedFrames(f); }
    std::int16_t *acquire(std::uint32_t f) override { return inner->acquire(f); }
    bool release(std::uint32_t f) override
    {
        if (armed.exchange(false))
            firstRelease.store(Clock::now().time_since_epoch().count());
        return inner->release(f);
    }

private:
    std::unique_ptr<RenderBackend> inner;
};

template <typename Predicate> bool waitFor(Predicate done, int timeoutMs = 20000)
{
    const auto until = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (Clock::now() > until)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return true;
}

void onWorker(const std::function<void()> &work)
{
    runOn(speaker::current().data(), work);
}

void decodingSpeed()
{
    const QByteArray packets = testdata::opusPackets(3000); // 60 s
    const double speechSeconds = 60.0;
    constexpr int rounds = 5;

    const double before = threadCpuSeconds();
    qsizetype bytes = 0;
    for (int i = 0; i < rounds; ++i)
        bytes += decodeOpusPackets(packets).value_or(QByteArray()).size();
    const double ours = threadCpuSeconds() - before;
    std::printf(
        "decodeSpeech: %d x %.0f s of speech in %.3f CPU s: %.0f s of speech per CPU second (%lld bytes)\n",
        rounds, speechSeconds, ours, rounds * speechSeconds / ours, static_cast<long long>(bytes));

    // The same loop at the decoder's default complexity, to show what
    // complexity 10 costs.
    {
        int error = OPUS_OK;
        OpusDecoder *decoder = opus_decoder_create(48000, 1, &error);
        std::vector<opus_int16> pcm(1920);
        long long samples = 0;
        const double start = threadCpuSeconds();
        for (int i = 0; i < rounds; ++i) {
            opus_decoder_ctl(decoder, OPUS_RESET_STATE);
            for (qsizetype at = 0; at + 60 <= packets.size(); at += 60)
                samples += std::max(
                    0, opus_decode(decoder, reinterpret_cast<const unsigned char *>(packets.constData()) + at,
                                   60, pcm.data(), 1920, 0));
        }
        const double plain = threadCpuSeconds() - start;
        opus_decoder_destroy(decoder);
        std::printf("same packets, decoder complexity 0: %.3f CPU s: %.0f s of speech per CPU second "
                    "(%lld samples; decodeSpeech at complexity 10 takes %.2f x as long)\n",
                    plain, rounds * speechSeconds / plain, samples, ours / plain);
    }

    const QString opusdec = QStandardPaths::findExecutable(QStringLiteral("opusdec"));
    if (opusdec.isEmpty()) {
        std::printf("opusdec: not found (package opus-tools), no comparison\n");
        return;
    }
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("speech.opus")));
    if (!file.open(QIODevice::WriteOnly) || file.write(bench::oggOpus(packets, 60)) < 0)
        return;
    file.close();
    const double childBefore = childrenCpuSeconds();
    for (int i = 0; i < rounds; ++i) {
        QProcess process;
        process.start(opusdec, {QStringLiteral("--quiet"), QStringLiteral("--rate"), QStringLiteral("48000"),
                                file.fileName(), dir.filePath(QStringLiteral("out.wav"))});
        if (!process.waitForFinished(60000) || process.exitCode() != 0) {
            std::printf("opusdec failed: %s\n", process.readAllStandardError().constData());
            return;
        }
    }
    const double theirs = childrenCpuSeconds() - childBefore;
    std::printf("opusdec:      %d x %.0f s of speech in %.3f CPU s: %.0f s of speech per CPU second "
                "(process start, Ogg parsing and WAV writing included)\n",
                rounds, speechSeconds, theirs, rounds * speechSeconds / theirs);
    std::printf("ratio opusdec / decodeSpeech (CPU time; above 1: decodeSpeech is faster): %.2f\n",
                theirs / ours);
}

enum class Delivery
{
    Whole,      // speechReady, once all of it has arrived
    Pieces,     // speechPieceReady, 200 ms (10 packets) each, back to back
    SinglePiece // speechPieceReady, all of it in one piece
};

const char *deliveryName(Delivery delivery)
{
    switch (delivery) {
    case Delivery::Whole:
        return "whole (old)";
    case Delivery::Pieces:
        return "200 ms pieces";
    case Delivery::SinglePiece:
        return "one piece";
    }
    return "";
}

void deliver(Delivery delivery, const QByteArray &reply)
{
    static std::uint64_t lastReply = 0;
    const std::shared_ptr<messenger> hub = messenger::instance();
    if (delivery == Delivery::Whole) {
        hub->speechReady.fire(reply);
        return;
    }
    const std::uint64_t id = ++lastReply;
    const qsizetype pieceBytes = delivery == Delivery::Pieces ? 600 : reply.size();
    std::uint64_t index = 0;
    for (qsizetype at = 0; at < reply.size(); at += pieceBytes)
        hub->speechPieceReady.fire(
            SpeechPiece{id, index++, reply.mid(at, pieceBytes), at + pieceBytes >= reply.size()});
}

// Reply arrival (its first piece, or all of it) to the first samples at the
// device; `runs` rounds, each stopped before the next.
std::vector<double> firstSampleLatencies(output &player, Delivery delivery, const QByteArray &reply, int runs)
{
    std::vector<double> latencies;
    for (int round = 0; round < runs; ++round) {
        const int stopsBefore = TimingBackend::stops.load();
        TimingBackend::firstRelease.store(0);
        TimingBackend::armed.store(true);
        const auto start = Clock::now();
        deliver(delivery, reply);
        if (!waitFor([] { return TimingBackend::firstRelease.load() != 0; })) {
            std::printf("no samples reached the device\n");
            return {};
        }
        const Clock::time_point first{Clock::duration(TimingBackend::firstRelease.load())};
        latencies.push_back(std::chrono::duration<double, std::milli>(first - start).count());
        player.stop();
        waitFor([stopsBefore] { return TimingBackend::stops.load() > stopsBefore; });
        // The rest of a streamed reply is decoded before the next round, so
        // that no round waits behind the previous one's work.
        waitFor([] { return !playbackState::instance().speechOpen(); });
        onWorker([] {});
    }
    std::sort(latencies.begin(), latencies.end());
    return latencies;
}

void latencyAndIdleWakeUps()
{
    playback::setBackendFactory([] { return std::make_unique<TimingBackend>(); });
    output player;
    player.init(1.0, 0.5);
    onWorker([] {});

    constexpr int runs = 7;
    std::printf("reply arrival to first samples at the device, median (min-max) of %d runs, ms:\n", runs);
    std::printf("  %-8s %-24s %-24s %-24s\n", "reply", deliveryName(Delivery::Whole),
                deliveryName(Delivery::Pieces), deliveryName(Delivery::SinglePiece));
    for (const int seconds : {1, 5, 20}) {
        const QByteArray reply = testdata::opusPackets(seconds * 50);
        std::printf("  %2d s    ", seconds);
        for (const Delivery delivery : {Delivery::Whole, Delivery::Pieces, Delivery::SinglePiece}) {
            const std::vector<double> l = firstSampleLatencies(player, delivery, reply, runs);
            if (l.empty())
                return;
            char cell[64];
            std::snprintf(cell, sizeof cell, "%.2f (%.2f-%.2f)", l[l.size() / 2], l.front(), l.back());
            std::printf(" %-24s", cell);
        }
        std::printf("\n");
    }

    onWorker([] {});
    const std::uint64_t waitsBefore = TimingBackend::waits.load();
    std::uint64_t wakeUpsBefore = 0;
    onWorker([&] { wakeUpsBefore = playback::currentDevice() ? playback::currentDevice()->wakeUps() : 0; });
    const auto idleStart = Clock::now();
    QThread::msleep(3000);
    const double idle = std::chrono::duration<double>(Clock::now() - idleStart).count();
    std::uint64_t wakeUpsAfter = 0;
    onWorker([&] { wakeUpsAfter = playback::currentDevice() ? playback::currentDevice()->wakeUps() : 0; });
    std::printf(
        "idle render-thread wake-ups: %.1f per second (loop), %.1f per second (device waits) over %.1f s\n",
        double(wakeUpsAfter - wakeUpsBefore) / idle, double(TimingBackend::waits.load() - waitsBefore) / idle,
        idle);
    onWorker([] { playback::releaseRenderDevice(); });
}
} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("TOLKA_BENCH_REAL_DEVICE"))
        qputenv("ALSA_CONFIG_PATH", "/usr/share/alsa/alsa.conf:" TOLKA_ALSA_NULL_CONFIG);
    if (qEnvironmentVariableIsEmpty("QT_LOGGING_RULES"))
        qputenv("QT_LOGGING_RULES", "tolka.*.debug=false");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    decodingSpeed();
    latencyAndIdleWakeUps();
    return 0;
}
