#include "audioinput.h"
#include "scriptedcapturebackend.h"

#include <QTest>
#include <QThread>

#include <chrono>
#include <mutex>

using namespace std::chrono_literals;
using Step = ScriptedCaptureBackend::Step;
using Log = ScriptedCaptureBackend::Log;

namespace {
// What the device handed to its callbacks, and how many waits the backend had
// seen when each block arrived.
struct Received
{
    std::mutex mutex;
    std::vector<std::vector<std::int16_t>> blocks;
    std::vector<int> waitsAtBlock;
    std::vector<DeviceFault> faults;
    int stopped = 0;

    [[nodiscard]] std::size_t blockCount()
    {
        std::lock_guard lock(mutex);
        return blocks.size();
    }
};

std::vector<std::int16_t> block(std::int16_t first, std::size_t size)
{
    std::vector<std::int16_t> samples(size);
    for (std::size_t i = 0; i < size; ++i)
        samples[i] = std::int16_t(first + std::int16_t(i));
    return samples;
}

struct Fixture
{
    std::shared_ptr<Log> log = std::make_shared<Log>();
    Received received;
    std::unique_ptr<AudioInput> device;

    Fixture(std::deque<ScriptedCaptureBackend::WakeUp> script, ScriptedCaptureBackend::Options options = {})
    {
        device = std::make_unique<AudioInput>(
            std::make_unique<ScriptedCaptureBackend>(std::move(script), options, log));
        device->setCallbacks(
            [this](const std::int16_t *samples, std::uint64_t frames) {
                int waits = 0;
                {
                    std::lock_guard lock(log->mutex);
                    waits = log->waits;
                }
                std::lock_guard lock(received.mutex);
                received.blocks.emplace_back(samples, samples + frames);
                received.waitsAtBlock.push_back(waits);
            },
            [this] {
                std::lock_guard lock(received.mutex);
                ++received.stopped;
            });
        device->setFaultCallback([this](DeviceFault fault) {
            std::lock_guard lock(received.mutex);
            received.faults.push_back(fault);
        });
    }

    [[nodiscard]] int waits() const
    {
        std::lock_guard lock(log->mutex);
        return log->waits;
    }
};
} // namespace

class AudioInputTest : public QObject
{
    Q_OBJECT
private slots:
    void stopWhileWaitingReturnsPromptly()
    {
        // Nothing ever arrives, and a wait would hold for a minute unless woken.
        Fixture f({}, {.hold = 60s});
        QVERIFY(f.device->initialize());
        QVERIFY(f.device->start());
        QTRY_VERIFY(f.waits() >= 1);
        f.device->stop();
        QVERIFY(!f.device->isRunning());
        std::lock_guard lock(f.log->mutex);
        QCOMPARE(f.log->wakes, 1);
        QCOMPARE(f.log->waitsEndedByWake, 1);
        QCOMPARE(f.log->waitsTimedOut, 0);
        QCOMPARE(f.log->lastTimeout, 200ms);
        QCOMPARE(f.log->stops, 1);
        QCOMPARE(f.received.stopped, 1);
    }

    void everyPacketOfAWakeUpIsDeliveredInOrder()
    {
        using Packets = std::vector<std::vector<std::int16_t>>;
        Fixture f({{Step::Packets, Packets{block(0, 480), block(1000, 480), block(2000, 100)}},
                   {Step::Packets, Packets{block(3000, 480), block(4000, 7)}}});
        QVERIFY(f.device->initialize());
        QVERIFY(f.device->start());
        QTRY_COMPARE(f.received.blockCount(), std::size_t(5));
        f.device->stop();

        std::lock_guard lock(f.received.mutex);
        const std::vector<std::int16_t> firsts{0, 1000, 2000, 3000, 4000};
        const std::vector<std::size_t> sizes{480, 480, 100, 480, 7};
        for (std::size_t i = 0; i < 5; ++i) {
            QCOMPARE(f.received.blocks[i].front(), firsts[i]);
            QCOMPARE(f.received.blocks[i].size(), sizes[i]);
            QCOMPARE(f.received.blocks[i], block(firsts[i], sizes[i]));
        }
        // The three packets of the first wake-up all came before the second wait.
        QCOMPARE(f.received.waitsAtBlock, (std::vector<int>{1, 1, 1, 2, 2}));
        QCOMPARE(f.received.stopped, 1);
    }

    void failuresWhileCapturingGoBackToWaiting()
    {
        using Packets = std::vector<std::vector<std::int16_t>>;
        Fixture f({{Step::WaitFails, {}},
                   {Step::Timeout, {}},
                   {Step::PacketSizeFails, Packets{block(1, 10)}},
                   {Step::AcquireFails, Packets{block(2, 10)}},
                   {Step::ReleaseFails, Packets{block(3, 10), block(4, 10)}},
                   {Step::Packets, Packets{block(5, 10)}}});
        QVERIFY(f.device->initialize());
        QVERIFY(f.device->start());
        QTRY_COMPARE(f.received.blockCount(), std::size_t(2));
        QVERIFY(f.device->isRunning());
        f.device->stop();
        // Transient failures leave the device as it was.
        QVERIFY(f.device->isUsable());
        std::lock_guard lock(f.received.mutex);
        QCOMPARE(f.received.blocks[0], block(3, 10));
        QCOMPARE(f.received.blocks[1], block(5, 10));
        QCOMPARE(f.received.waitsAtBlock, (std::vector<int>{5, 6}));
    }

    void stopWhenNotRunningCallsNothing()
    {
        Fixture f({});
        f.device->stop();
        QVERIFY(f.device->initialize());
        f.device->stop();
        QVERIFY(f.device->start());
        f.device->stop();
        f.device->stop();
        std::lock_guard lock(f.received.mutex);
        QCOMPARE(f.received.stopped, 1);
        std::lock_guard logLock(f.log->mutex);
        QCOMPARE(f.log->stops, 1);
    }

    void secondStartKeepsOneThread()
    {
        Fixture f({}, {.hold = 60s});
        QVERIFY(f.device->initialize());
        QVERIFY(f.device->start());
        QVERIFY(f.device->start());
        QTRY_VERIFY(f.waits() >= 1);
        f.device->stop();
        std::lock_guard lock(f.log->mutex);
        QCOMPARE(f.log->starts, 1);
        // One thread: a single wake ended the only wait in progress.
        QCOMPARE(f.log->waitsEndedByWake, 1);
    }

    void deviceThatFailsToOpenNeverStarts()
    {
        Fixture f({}, {.failOpen = true});
        QVERIFY(!f.device->initialize());
        QVERIFY(!f.device->isInitialised());
        QVERIFY(!f.device->start());
        QVERIFY(!f.device->isRunning());
        f.device.reset();
        std::lock_guard lock(f.log->mutex);
        QCOMPARE(f.log->starts, 0);
        QCOMPARE(f.log->closes, 0);
        QCOMPARE(f.received.stopped, 0);
    }

    void failedStartLeavesTheDeviceReady()
    {
        Fixture f({}, {.failStart = true});
        QVERIFY(f.device->initialize());
        QVERIFY(!f.device->start());
        QVERIFY(!f.device->isRunning());
        f.device->stop();
        QCOMPARE(f.received.stopped, 0);
        QCOMPARE(f.waits(), 0);
    }

    void restartAfterStopRunsAgain()
    {
        using Packets = std::vector<std::vector<std::int16_t>>;
        auto backend = std::make_unique<ScriptedCaptureBackend>(std::deque<ScriptedCaptureBackend::WakeUp>{},
                                                                ScriptedCaptureBackend::Options{}, nullptr);
        ScriptedCaptureBackend *script = backend.get();
        AudioInput device(std::move(backend));
        std::atomic<int> blocks{0};
        device.setCallbacks([&](const std::int16_t *, std::uint64_t) { ++blocks; }, nullptr);
        QVERIFY(device.initialize());
        for (int run = 1; run <= 3; ++run) {
            QVERIFY(device.start());
            script->feed({Step::Packets, Packets{block(0, 10)}});
            QTRY_COMPARE(blocks.load(), run);
            device.stop();
        }
    }

    void destructionStopsARunningDevice()
    {
        Fixture f({}, {.hold = 60s});
        QVERIFY(f.device->initialize());
        QVERIFY(f.device->start());
        f.device.reset();
        std::lock_guard lock(f.log->mutex);
        QCOMPARE(f.log->stops, 1);
        QCOMPARE(f.log->closes, 1);
        QCOMPARE(f.received.stopped, 1);
    }

    void aDeviceThatIsGoneEndsTheRunByItself_data()
    {
        QTest::addColumn<int>("step");
        QTest::addColumn<int>("fault");
        QTest::newRow("unplugged") << int(Step::PacketSizeFails) << int(DeviceFault::Lost);
        QTest::newRow("taken by another program") << int(Step::AcquireFails) << int(DeviceFault::InUse);
        QTest::newRow("refused by the system") << int(Step::ReleaseFails) << int(DeviceFault::Denied);
        QTest::newRow("its wait fails, device gone") << int(Step::WaitFails) << int(DeviceFault::Missing);
    }
    void aDeviceThatIsGoneEndsTheRunByItself()
    {
        QFETCH(int, step);
        QFETCH(int, fault);
        using Packets = std::vector<std::vector<std::int16_t>>;
        Fixture f({{Step::Packets, Packets{block(1, 10)}},
                   {Step(step), Packets{block(2, 10)}, DeviceFault(fault)},
                   {Step::Packets, Packets{block(3, 10)}}},
                  {.hold = 60s});
        QVERIFY(f.device->initialize());
        QVERIFY(f.device->start());
        QTRY_VERIFY(!f.device->isRunning());
        {
            std::lock_guard lock(f.received.mutex);
            QCOMPARE(f.received.faults, std::vector<DeviceFault>{DeviceFault(fault)});
            QCOMPARE(f.received.stopped, 1);
            // Nothing after the fault is read.
            QVERIFY(!f.received.blocks.empty());
            QCOMPARE(f.received.blocks.front(), block(1, 10));
            QVERIFY(f.received.blocks.back() != block(3, 10));
        }
        QCOMPARE(f.device->fault(), DeviceFault(fault));
        // It is done for: a fresh instance must take over.
        QVERIFY(!f.device->isUsable());
        QVERIFY(!f.device->start());
        f.device->stop();
        f.device.reset();
        std::lock_guard lock(f.log->mutex);
        QCOMPARE(f.log->stops, 1);
        QCOMPARE(f.log->closes, 1);
        QCOMPARE(f.received.stopped, 1);
    }

    void aStopRacingTheDevicesOwnEndReportsTheEndOnce()
    {
        for (int round = 0; round < 40; ++round) {
            Fixture f({{Step::PacketSizeFails, {}, DeviceFault::Lost}}, {.hold = 60s});
            QVERIFY(f.device->initialize());
            QVERIFY(f.device->start());
            if (round % 2)
                QThread::usleep(std::uint64_t(round) * 10);
            f.device->stop();
            f.device.reset();
            std::lock_guard lock(f.received.mutex);
            QCOMPARE(f.received.stopped, 1);
            std::lock_guard logLock(f.log->mutex);
            QCOMPARE(f.log->stops, 1);
        }
    }

    void anotherDefaultDeviceReplacesItBetweenRecordings()
    {
        Fixture f({}, {.hold = 60s});
        QVERIFY(f.device->initialize());
        QVERIFY(f.device->isUsable());
        QVERIFY(f.device->start());
        {
            std::lock_guard lock(f.log->mutex);
            f.log->isDefault = false;
        }
        // Never while it records.
        QVERIFY(f.device->isUsable());
        f.device->stop();
        QVERIFY(!f.device->isUsable());
        {
            std::lock_guard lock(f.log->mutex);
            f.log->isDefault = true;
        }
        QVERIFY(f.device->isUsable());
    }

    void formatIsFortyEightKilohertzMono()
    {
        Fixture f({});
        QCOMPARE(f.device->sampleRate(), 48000);
        QCOMPARE(f.device->channelCount(), 1);
    }
};

QTEST_GUILESS_MAIN(AudioInputTest)

#include "tst_audioinput.moc"
