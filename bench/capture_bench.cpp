// Recording benchmarks, run by hand (not part of the test suite):
//
//  1. Encoder CPU time per second of speech, against opusenc (opus-tools) on
//     the same PCM with the same encoder settings, measured side by side in
//     one run; the ratio is what counts.
//  2. Wake-ups per second of the capture thread while recording and while
//     idle, over a device that delivers a 10 ms packet every 10 ms, and over
//     the ALSA default device when one is configured.
//
// Usage: capture_bench [seconds of speech, default 60]
// For the ALSA figure, point ALSA at a capture device, for instance the test
// configuration: ALSA_CONFIG_PATH=/usr/share/alsa/alsa.conf:tools/sound/file-devices.conf
// TOLKA_MIC_FILE=tests/data/speech/sentence.raw
#include "alsacapturebackend.h"
#include "audioinput.h"
#include "capturedevice.h"
#include "encoder.h"
#include "messenger.h"
#include "scriptedcapturebackend.h"

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <dirent.h>
#include <mutex>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {
double seconds(const timeval &t)
{
    return double(t.tv_sec) + double(t.tv_usec) / 1e6;
}

double cpuSeconds(int who)
{
    rusage usage{};
    getrusage(who, &usage);
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

int threadCount()
{
    int count = 0;
    if (DIR *dir = opendir("/proc/self/task")) {
        while (const dirent *entry = readdir(dir))
            count += entry->d_name[0] != '.';
        closedir(dir);
    }
    return count;
}

std::vector<qint16> speech(double wantedSeconds)
{
    QFile file(QStringLiteral(TOLKA_TEST_DATA "/speech/sentence.raw"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray raw = file.readAll();
    std::vector<qint16> sentence(std::size_t(raw.size() / 2));
    std::memcpy(sentence.data(), raw.constData(), sentence.size() * 2);
    std::vector<qint16> samples;
    const auto total = std::size_t(wantedSeconds * 48000);
    while (samples.size() < total)
        samples.insert(samples.end(), sentence.begin(), sentence.end());
    samples.resize(total);
    return samples;
}

// Our encoder, fed in 10 ms blocks as the device delivers them.
double encoderCpu(const std::vector<qint16> &samples, qsizetype &bytes)
{
    encoder e(messenger::instance());
    const double before = cpuSeconds(RUSAGE_THREAD);
    e.startEncoding();
    for (std::size_t at = 0; at < samples.size(); at += 480)
        e.pushSamples(samples.data() + at, qint64(std::min<std::size_t>(480, samples.size() - at)));
    bytes = e.writer().stream().size();
    e.finishStream();
    return cpuSeconds(RUSAGE_THREAD) - before;
}

// opusenc with the encoder's settings: 20 ms frames, VoIP application, voice
// signal, 24 kbit/s, complexity 10, DTX on.
double opusencCpu(const std::vector<qint16> &samples, qsizetype &bytes)
{
    const QString opusenc = QStandardPaths::findExecutable(QStringLiteral("opusenc"));
    QTemporaryDir dir;
    if (opusenc.isEmpty() || !dir.isValid())
        return -1;
    QFile pcm(dir.filePath(QStringLiteral("in.raw")));
    if (!pcm.open(QIODevice::WriteOnly))
        return -1;
    pcm.write(reinterpret_cast<const char *>(samples.data()), qint64(samples.size() * 2));
    pcm.close();
    const QString out = dir.filePath(QStringLiteral("out.opus"));
    const double before = cpuSeconds(RUSAGE_CHILDREN);
    QProcess process;
    process.start(opusenc,
                  {QStringLiteral("--quiet"), QStringLiteral("--raw"), QStringLiteral("--raw-rate"),
                   QStringLiteral("48000"), QStringLiteral("--raw-chan"), QStringLiteral("1"),
                   QStringLiteral("--bitrate"), QStringLiteral("24"), QStringLiteral("--framesize"),
                   QStringLiteral("20"), QStringLiteral("--comp"), QStringLiteral("10"),
                   QStringLiteral("--speech"), QStringLiteral("--set-ctl-int"), QStringLiteral("4000=2048"),
                   QStringLiteral("--set-ctl-int"), QStringLiteral("4016=1"), pcm.fileName(), out});
    if (!process.waitForFinished(600000) || process.exitCode() != 0) {
        std::fprintf(stderr, "opusenc failed: %s\n", process.readAllStandardError().constData());
        return -1;
    }
    bytes = QFile(out).size();
    return cpuSeconds(RUSAGE_CHILDREN) - before;
}

// Delivers one 10 ms packet per 10 ms, like a device with a 10 ms buffer.
class PacedBackend final : public CaptureBackend
{
public:
    bool open() override { return true; }
    void close() override {}
    bool start() override
    {
        next = std::chrono::steady_clock::now() + 10ms;
        return true;
    }
    void stop() override {}
    WaitResult wait(std::chrono::milliseconds timeout) override
    {
        std::unique_lock lock(mutex);
        const auto deadline = std::min(next, std::chrono::steady_clock::now() + timeout);
        if (woken.wait_until(lock, deadline, [this] { return wakeRequested; })) {
            wakeRequested = false;
            return WaitResult::Ready;
        }
        if (std::chrono::steady_clock::now() < next)
            return WaitResult::TimedOut;
        next += 10ms;
        pending = true;
        return WaitResult::Ready;
    }
    void wake() override
    {
        std::lock_guard lock(mutex);
        wakeRequested = true;
        woken.notify_all();
    }
    bool nextPacketSize(std::uint32_t &frames) override
    {
        frames = pending ? 480 : 0;
        return true;
    }
    bool acquire(const std::int16_t *&data, std::uint32_t &frames) override
    {
        data = packet.data();
        frames = 480;
        return true;
    }
    bool release(std::uint32_t) override
    {
        pending = false;
        return true;
    }

private:
    std::mutex mutex;
    std::condition_variable woken;
    bool wakeRequested = false;
    bool pending = false;
    std::chrono::steady_clock::time_point next;
    std::vector<std::int16_t> packet = std::vector<std::int16_t>(480, 0);
};

struct WakeFigures
{
    double recording = 0;
    double idle = 0;
    int threadsIdleBefore = 0;
    int threadsRecording = 0;
    int threadsIdleAfter = 0;
    std::uint64_t blocks = 0;
};

WakeFigures measureWakeups(std::unique_ptr<CaptureBackend> backend, std::chrono::milliseconds span)
{
    WakeFigures figures;
    AudioInput device(std::move(backend));
    std::atomic<std::uint64_t> blocks{0};
    device.setCallbacks([&](const std::int16_t *, std::uint64_t) { ++blocks; }, nullptr);
    if (!device.initialize())
        return figures;
    figures.threadsIdleBefore = threadCount();
    const auto idleBefore = device.wakeups();
    std::this_thread::sleep_for(span);
    const double idleBeforeCount = double(device.wakeups() - idleBefore);

    device.start();
    const std::uint64_t startCount = device.wakeups();
    const auto started = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(span);
    figures.threadsRecording = threadCount();
    const std::uint64_t endCount = device.wakeups();
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    device.stop();
    figures.blocks = blocks.load();
    figures.recording = double(endCount - startCount) / elapsed;

    const auto idleAfter = device.wakeups();
    std::this_thread::sleep_for(span);
    figures.threadsIdleAfter = threadCount();
    figures.idle = (idleBeforeCount + double(device.wakeups() - idleAfter)) /
                   (2 * std::chrono::duration<double>(span).count());
    return figures;
}

void printWakeups(const char *name, const WakeFigures &f)
{
    std::printf("%-34s recording %8.1f wake-ups/s (%llu blocks), idle %.1f wake-ups/s; threads idle %d, "
                "recording %d, idle again %d\n",
                name, f.recording, static_cast<unsigned long long>(f.blocks), f.idle, f.threadsIdleBefore,
                f.threadsRecording, f.threadsIdleAfter);
}
} // namespace

int main(int argc, char **argv)
{
    const double wanted = argc > 1 ? std::atof(argv[1]) : 60.0;
    const std::vector<qint16> samples = speech(wanted);
    if (samples.empty()) {
        std::fputs("cannot read the test sentence\n", stderr);
        return 1;
    }
    const double duration = double(samples.size()) / 48000;
    // The encoder alone: a device that never opens.
    capture::setBackendFactory([] {
        return std::make_unique<ScriptedCaptureBackend>(std::deque<ScriptedCaptureBackend::WakeUp>{},
                                                        ScriptedCaptureBackend::Options{.failOpen = true},
                                                        nullptr);
    });

    qsizetype ourBytes = 0;
    qsizetype theirBytes = 0;
    // Alternate the two so that both see the same machine load; keep the best of three.
    double ours = 1e9;
    double theirs = 1e9;
    for (int round = 0; round < 3; ++round) {
        ours = std::min(ours, encoderCpu(samples, ourBytes));
        const double t = opusencCpu(samples, theirBytes);
        if (t < 0)
            return 1;
        theirs = std::min(theirs, t);
    }
    std::printf("speech: %.1f s of the test sentence, repeated\n", duration);
    std::printf("encoder  %7.2f ms CPU per second of speech, %lld bytes\n", 1000 * ours / duration,
                static_cast<long long>(ourBytes));
    std::printf("opusenc  %7.2f ms CPU per second of speech, %lld bytes\n", 1000 * theirs / duration,
                static_cast<long long>(theirBytes));
    std::printf("ratio encoder/opusenc: %.3f\n", ours / theirs);

    printWakeups("paced device (10 ms packets)", measureWakeups(std::make_unique<PacedBackend>(), 1000ms));
    if (qEnvironmentVariableIsSet("ALSA_CONFIG_PATH") || qEnvironmentVariableIsSet("TOLKA_BENCH_ALSA"))
        printWakeups("ALSA default device", measureWakeups(std::make_unique<AlsaCaptureBackend>(), 1000ms));
    return 0;
}
