#include "audiooutput.h"
#include "playbackstate.h"
#include "scriptedrenderbackend.h"

#include <QTest>

#include <atomic>
#include <vector>

Q_DECLARE_METATYPE(RenderScript::Step)

namespace {
std::vector<std::int16_t> scaled(std::vector<std::int16_t> samples, float volume)
{
    AudioOutput::applyVolume(samples.data(), samples.size(), volume);
    return samples;
}

QByteArray pcmOf(const std::vector<std::int16_t> &samples)
{
    return QByteArray(reinterpret_cast<const char *>(samples.data()), qsizetype(samples.size() * 2));
}

// A device over a script, fed from the playback state as the player feeds it.
struct Rig
{
    std::shared_ptr<RenderScript> script = std::make_shared<RenderScript>();
    AudioOutput device{std::make_unique<ScriptedRenderBackend>(script)};
    std::atomic<int> stopRequests{0};
    std::atomic<int> stoppedCalls{0};

    Rig()
    {
        device.setPullSamples([this](std::int16_t *buffer, std::uint64_t frames) {
            if (playbackState::instance().pullSamples(buffer, frames))
                ++stopRequests;
        });
        device.setOnStopped([this] { ++stoppedCalls; });
    }

    void play(const QByteArray &pcm)
    {
        std::lock_guard lock(playbackState::instance().lock());
        playbackState::instance().setSourceLocked(pcm);
    }
};
} // namespace

class AudioOutputTest : public QObject
{
    Q_OBJECT
private slots:
    void init() { playbackState::instance().reset(); }

    // Volume: single-precision product, truncated toward zero, saturated.
    void volumeScaling_data()
    {
        QTest::addColumn<float>("volume");
        QTest::addColumn<int>("in");
        QTest::addColumn<int>("out");
        QTest::newRow("half of 1001") << 0.5f << 1001 << 500;
        QTest::newRow("half of -1001") << 0.5f << -1001 << -500;
        QTest::newRow("double 20000") << 2.0f << 20000 << 32767;
        QTest::newRow("double -20000") << 2.0f << -20000 << -32768;
        QTest::newRow("unity -32768") << 1.0f << -32768 << -32768;
        QTest::newRow("unity 32767") << 1.0f << 32767 << 32767;
        QTest::newRow("zero") << 0.0f << 12345 << 0;
        QTest::newRow("tenth of -9") << 0.1f << -9 << 0;
    }
    void volumeScaling()
    {
        QFETCH(float, volume);
        QFETCH(int, in);
        QFETCH(int, out);
        QCOMPARE(scaled({std::int16_t(in)}, volume).front(), std::int16_t(out));
    }

    void volumeIsAppliedByTheRenderThread()
    {
        for (float volume : {0.5f, 2.0f, 1.0f, 0.0f}) {
            playbackState::instance().reset();
            Rig rig;
            QVERIFY(rig.device.initialize());
            const std::vector<std::int16_t> in{1001, -1001, 20000, -20000, -32768, 32767};
            rig.play(pcmOf(in));
            rig.script->addPeriods(6);
            rig.device.setVolume(volume);
            QVERIFY(rig.device.start());
            QVERIFY(rig.script->waitUntilUsedUp(10000));
            rig.device.stop();
            QCOMPARE(rig.script->rendered(), scaled(in, volume));
        }
    }

    void periodsHandOverTheSourceThenAskForTheStop()
    {
        Rig rig;
        QVERIFY(rig.device.initialize());
        std::vector<std::int16_t> source(15047);
        for (std::size_t i = 0; i < source.size(); ++i)
            source[i] = std::int16_t(1 + i % 30000);
        rig.play(pcmOf(source));
        rig.script->addPeriods(480, 32);
        QVERIFY(rig.device.start());
        QVERIFY(rig.script->waitUntilUsedUp(10000));
        QCOMPARE(rig.stopRequests.load(), 0);

        const std::vector<std::int16_t> out = rig.script->rendered();
        QCOMPARE(out.size(), std::size_t(32 * 480));
        QCOMPARE(rig.script->releasedPeriods(), std::vector<std::uint32_t>(32, 480));
        QVERIFY(std::equal(source.begin(), source.end(), out.begin()));
        // The last period: 167 samples of the source, 313 of silence.
        QCOMPARE(15047 - 31 * 480, 167);
        QVERIFY(std::all_of(out.begin() + 15047, out.end(), [](std::int16_t s) { return s == 0; }));
        QCOMPARE(out.size() - 15047, std::size_t(313));

        rig.script->addPeriods(480);
        QVERIFY(rig.script->waitUntilUsedUp(10000));
        QCOMPARE(rig.stopRequests.load(), 1);
        // Only once: the flag is cleared.
        rig.script->addPeriods(480, 3);
        QVERIFY(rig.script->waitUntilUsedUp(10000));
        QCOMPARE(rig.stopRequests.load(), 1);
        rig.device.stop();
    }

    void stopWakesAWaitingThreadAndReportsOnce()
    {
        Rig rig;
        QVERIFY(rig.device.initialize());
        QVERIFY(rig.device.start());
        // No periods scripted: the thread waits until stop wakes it.
        QVERIFY(rig.script->waitUntilUsedUp(10000));
        rig.device.stop();
        QVERIFY(!rig.device.isRunning());
        QCOMPARE(rig.stoppedCalls.load(), 1);
        rig.device.stop();
        QCOMPARE(rig.stoppedCalls.load(), 1);
        QCOMPARE(rig.script->stops(), 1);
    }

    void silenceWithoutCallback()
    {
        auto script = std::make_shared<RenderScript>();
        AudioOutput device(std::make_unique<ScriptedRenderBackend>(script));
        QVERIFY(device.initialize());
        script->addPeriods(480);
        QVERIFY(device.start());
        QVERIFY(script->waitUntilUsedUp(10000));
        device.stop();
        const auto out = script->rendered();
        QCOMPARE(out.size(), std::size_t(480));
        QVERIFY(std::all_of(out.begin(), out.end(), [](std::int16_t s) { return s == 0; }));
    }

    void failedSetUpStartsNothing()
    {
        Rig rig;
        rig.script->failNextOpens(1);
        QVERIFY(!rig.device.initialize());
        QVERIFY(!rig.device.isInitialised());
        QVERIFY(!rig.device.start());
        QVERIFY(!rig.device.isRunning());
        QCOMPARE(rig.script->starts(), 0);
    }

    void failedStartLeavesTheDeviceIdle()
    {
        Rig rig;
        QVERIFY(rig.device.initialize());
        rig.script->failNextStarts(1);
        QVERIFY(!rig.device.start());
        QVERIFY(!rig.device.isRunning());
        QVERIFY(rig.device.start());
        QVERIFY(rig.device.isRunning());
        rig.device.stop();
    }

    // The render thread gives up on a passing device error but stays marked
    // running; the next start must bring the stream back. (A wait that times
    // out does not end it: see tst_renderfaults.)
    void stalledDeviceIsRestartedByTheNextStart_data()
    {
        QTest::addColumn<RenderScript::Step>("failure");
        QTest::newRow("wait fails") << RenderScript::Step::WaitFailure;
        QTest::newRow("queued frames fail") << RenderScript::Step::QueryFailure;
        QTest::newRow("buffer not given") << RenderScript::Step::AcquireFailure;
    }
    void stalledDeviceIsRestartedByTheNextStart()
    {
        QFETCH(RenderScript::Step, failure);
        Rig rig;
        QVERIFY(rig.device.initialize());
        const std::vector<std::int16_t> speech(960, 1234);
        rig.play(pcmOf(speech));
        rig.script->addPeriods(480);
        rig.script->add(failure);
        QVERIFY(rig.device.start());
        QTRY_VERIFY(rig.device.isStalled());
        QVERIFY(rig.device.isRunning());

        QVERIFY(rig.device.start());
        QVERIFY(!rig.device.isStalled());
        QCOMPARE(rig.script->starts(), 2);
        // The silent restart is not an end of playback.
        QCOMPARE(rig.stoppedCalls.load(), 0);
        rig.script->addPeriods(480, 2);
        QVERIFY(rig.script->waitUntilUsedUp(10000));
        QCOMPARE(rig.stopRequests.load(), 1);
        rig.device.stop();
        QCOMPARE(rig.stoppedCalls.load(), 1);
        const auto out = rig.script->rendered();
        QVERIFY(std::equal(speech.begin(), speech.end(), out.begin()));
    }

    void destructionStopsAndCloses()
    {
        auto script = std::make_shared<RenderScript>();
        int stopped = 0;
        {
            AudioOutput device(std::make_unique<ScriptedRenderBackend>(script));
            device.setOnStopped([&stopped] { ++stopped; });
            QVERIFY(device.initialize());
            QVERIFY(device.start());
        }
        QCOMPARE(stopped, 1);
        QCOMPARE(script->closes(), 1);
    }
};

QTEST_GUILESS_MAIN(AudioOutputTest)
#include "tst_audiooutput.moc"
