#include "alsacapturebackend.h"
#include "audioinput.h"
#include "capturedevice.h"
#include "capturetesting.h"
#include "encoder.h"
#include "messenger.h"
#include "opusreading.h"
#include "similarity.h"

#include <QTest>

#include <condition_variable>
#include <mutex>
#include <sstream>

using namespace capturetesting;
using namespace std::chrono_literals;

namespace {
// The test device has no clock and would flood the encoder; this valve passes
// the real ALSA backend's packets through until `limit` frames have gone by,
// then reports nothing more until woken.
class Valve final : public CaptureBackend
{
public:
    explicit Valve(std::uint64_t limit) : limit(limit) {}

    bool open() override { return alsa.open(); }
    void close() override { alsa.close(); }
    bool start() override { return alsa.start(); }
    void stop() override { alsa.stop(); }
    WaitResult wait(std::chrono::milliseconds timeout) override
    {
        if (delivered.load() < limit)
            return alsa.wait(timeout);
        std::unique_lock lock(mutex);
        woken.wait_for(lock, timeout, [this] { return wakeups > 0; });
        return std::exchange(wakeups, 0) > 0 ? WaitResult::Ready : WaitResult::TimedOut;
    }
    void wake() override
    {
        alsa.wake();
        std::lock_guard lock(mutex);
        ++wakeups;
        woken.notify_all();
    }
    bool nextPacketSize(std::uint32_t &frames) override
    {
        if (delivered.load() >= limit) {
            frames = 0;
            return true;
        }
        return alsa.nextPacketSize(frames);
    }
    bool acquire(const std::int16_t *&data, std::uint32_t &frames) override
    {
        return alsa.acquire(data, frames);
    }
    bool release(std::uint32_t frames) override
    {
        delivered += frames;
        return alsa.release(frames);
    }

    std::atomic<std::uint64_t> delivered{0};

private:
    AlsaCaptureBackend alsa;
    const std::uint64_t limit;
    std::mutex mutex;
    std::condition_variable woken;
    int wakeups = 0;
};
} // namespace

// The real ALSA layer without sound hardware: the default PCM is ALSA's file
// plugin over the null PCM, reading the spoken sentence as the microphone
// (tools/sound/file-devices.conf). That device has no clock of its own
// and delivers as fast as it is read.
class AlsaCaptureTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        speech = sentence();
        QVERIFY(speech.size() > 96000);
        QVERIFY2(qEnvironmentVariable("ALSA_CONFIG_PATH").endsWith(QLatin1String("file-devices.conf")),
                 "run through ctest, which points ALSA at the test configuration");
    }

    void backendDeliversTheMicrophoneInPeriods()
    {
        std::ostringstream errors;
        AlsaCaptureBackend backend(errors);
        QVERIFY2(backend.open(), errors.str().c_str());
        QCOMPARE(errors.str(), std::string());
        QVERIFY(backend.periodFrames() >= 240 && backend.periodFrames() <= 960);
        QVERIFY(backend.start());

        std::vector<qint16> captured;
        int wakeups = 0;
        while (captured.size() < speech.size() && wakeups < 100000) {
            ++wakeups;
            if (backend.wait(200ms) != CaptureBackend::WaitResult::Ready)
                continue;
            std::uint32_t frames = 0;
            while (backend.nextPacketSize(frames) && frames != 0) {
                QCOMPARE(frames, backend.periodFrames());
                const std::int16_t *data = nullptr;
                std::uint32_t got = 0;
                QVERIFY(backend.acquire(data, got));
                captured.insert(captured.end(), data, data + got);
                QVERIFY(backend.release(got));
                if (captured.size() >= speech.size())
                    break;
            }
        }
        backend.stop();
        backend.close();
        QVERIFY(captured.size() >= speech.size());
        captured.resize(speech.size());
        QVERIFY(captured == speech);
    }

    void wakeEndsAWaitAtOnce()
    {
        AlsaCaptureBackend backend;
        QVERIFY(backend.open());
        backend.wake();
        QCOMPARE(backend.wait(std::chrono::milliseconds(60000)), CaptureBackend::WaitResult::Ready);
        backend.close();
        QCOMPARE(backend.wait(200ms), CaptureBackend::WaitResult::Failed);
    }

    void stopEndsCaptureFromADeviceThatNeverRunsDry()
    {
        // This device always has another packet ready: the capture thread
        // never finds it empty, and a stop must still end it.
        AudioInput device(std::make_unique<AlsaCaptureBackend>());
        std::atomic<std::uint64_t> frames{0};
        std::atomic<int> stopped{0};
        device.setCallbacks([&](const std::int16_t *, std::uint64_t count) { frames += count; },
                            [&] { ++stopped; });
        QVERIFY(device.initialize());
        QVERIFY(device.start());
        QTRY_VERIFY(frames.load() > speech.size());
        device.stop();
        QVERIFY(!device.isRunning());
        QCOMPARE(stopped.load(), 1);
    }

    void recordingOfTheSpokenSentence()
    {
        RecordingSink sink;
        messenger::instance()->recordingReady.connect(&sink, &RecordingSink::receive);
        auto valve = std::make_shared<Valve *>(nullptr);
        capture::setBackendFactory([valve, limit = speech.size()] {
            auto made = std::make_unique<Valve>(limit);
            *valve = made.get();
            return made;
        });

        // The encoder lives on this thread; the device's posts reach it through
        // this thread's event loop.
        encoder e(messenger::instance());
        e.startEncoding();
        QVERIFY(*valve);
        QTRY_VERIFY_WITH_TIMEOUT((*valve)->delivered.load() >= speech.size(), 60000);
        e.stopDevice();
        QTRY_COMPARE_WITH_TIMEOUT(sink.recordings.size(), 1, 60000);
        capture::releaseCaptureDevice();

        const qint64 wanted = qint64(speech.size());
        const DecodedOpus decoded = decodeWithOpusfile(sink.recordings.first());
        QCOMPARE(decoded.error, 0);
        QCOMPARE(decoded.channels, 1);
        QVERIFY(qint64(decoded.samples.size()) >= wanted - 960);
        std::vector<double> output(decoded.samples.begin(), decoded.samples.begin() + long(wanted - 960));
        for (double &v : output)
            v /= 2.5118864315095801;
        std::vector<double> input(speech.begin(), speech.begin() + long(output.size()));
        const similarity::Peak wave = similarity::bestLag(input, output, 32);
        const similarity::Peak contour =
            similarity::bestLag(similarity::envelope(input, 480), similarity::envelope(output, 480), 50);
        qInfo("recorded through ALSA: waveform correlation %.3f at lag %ld; envelope correlation %.3f at lag "
              "%ld",
              wave.value, wave.lag, contour.value, contour.lag);
        QVERIFY(std::abs(wave.lag) <= 8);
        QVERIFY(wave.value > 0.8);
        QCOMPARE(contour.lag, 0L);
        QVERIFY(contour.value > 0.95);
    }

private:
    std::vector<qint16> speech;
};

QTEST_GUILESS_MAIN(AlsaCaptureTest)

#include "tst_alsacapture.moc"
