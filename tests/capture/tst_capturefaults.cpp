// Faults of the microphone, as the interface meets them: it cannot be opened
// or started, it goes away while recording, it stalls (delivers nothing),
// and it comes back. Driven through the recorder front end over the scripted
// layer. The recording heard so far is kept and recognised; the interface
// hears why; the next press records again; every wait is bounded.
#include "../playback/messagewindow.h"
#include "capturedevice.h"
#include "capturetesting.h"
#include "input.h"
#include "messenger.h"
#include "oggpages.h"

#include <QGuiApplication>
#include <QTest>

using namespace capturetesting;
using namespace Qt::StringLiterals;
using Step = ScriptedCaptureBackend::Step;

Q_DECLARE_METATYPE(ScriptedCaptureBackend::Step)
Q_DECLARE_METATYPE(DeviceFault)

namespace {
const QString started = u"RECORDINGSTARTED=true"_s;
const QString audioError = u"AUDIOERROR="_s;
// Shorter than the device's own default (deviceStallTimeout), so that a stall
// is noticed quickly, yet longer than a release takes (its 250 ms delay).
constexpr std::chrono::milliseconds stallTimeout{1500};
constexpr int boundMs = 10000;
} // namespace

class CaptureFaultsTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        window.create();
        messenger::instance()->recordingReady.connect(&sink, &RecordingSink::receive);
        capture::setBackendFactory([this] {
            std::lock_guard lock(mutex);
            auto made = std::make_unique<ScriptedCaptureBackend>(std::deque<ScriptedCaptureBackend::WakeUp>{},
                                                                 options, log);
            backend = made.get();
            return made;
        });
        capture::setStallTimeout(stallTimeout);
        recorder.init();
        probe.moveToThread(recorder.worker().get());
    }
    void init()
    {
        sink.recordings.clear();
        window.messages.clear();
        window.values.clear();
        setOptions({});
    }
    void cleanupTestCase()
    {
        QMetaObject::invokeMethod(
            &probe, [] { capture::releaseCaptureDevice(); }, Qt::BlockingQueuedConnection);
        capture::setStallTimeout(deviceStallTimeout);
        capture::setBackendFactory({});
        QMetaObject::invokeMethod(
            &probe, [this] { probe.moveToThread(qApp->thread()); }, Qt::BlockingQueuedConnection);
    }

    // Set-up refused: the press hears why, nothing is recognised, the
    // release adds nothing, and once the device is back the next press
    // records.
    void aMicrophoneThatCannotBeUsedIsToldAndTheNextPressRecords_data()
    {
        QTest::addColumn<bool>("failOpen");
        QTest::addColumn<DeviceFault>("fault");
        QTest::addColumn<QString>("reason");
        QTest::newRow("none plugged in") << true << DeviceFault::Missing << u"missing"_s;
        QTest::newRow("refused by the privacy settings") << true << DeviceFault::Denied << u"permission"_s;
        QTest::newRow("held by another program") << true << DeviceFault::InUse << u"inUse"_s;
        QTest::newRow("opens, but does not start") << false << DeviceFault::Lost << u"lost"_s;
    }
    void aMicrophoneThatCannotBeUsedIsToldAndTheNextPressRecords()
    {
        QFETCH(bool, failOpen);
        QFETCH(DeviceFault, fault);
        QFETCH(QString, reason);
        ScriptedCaptureBackend::Options failing;
        failing.failOpen = failOpen;
        failing.failStart = !failOpen;
        failing.setUpFault = fault;
        setOptions(failing);
        release();

        recorder.vstart(true);
        QTRY_COMPARE(window.messages, (QStringList{started, audioError}));
        QCOMPARE(window.values.at(1).toMap().value(u"reason"_s).toString(), reason);
        QCOMPARE(window.values.at(1).toMap().value(u"device"_s).toString(), u"microphone"_s);
        recorder.vstop(true);
        waitOutTheStop();
        QVERIFY(sink.recordings.isEmpty());

        setOptions({});
        recordOnePacket();
    }

    // Gone while recording (the wait or the packet fails for good), or
    // stalled (nothing comes for the stall time-out): the recording ends by
    // itself with what was heard, which is recognised; the interface hears
    // that the microphone is gone; the release adds nothing; the next press
    // opens it afresh and records.
    void aMicrophoneThatGoesAwayEndsTheRecordingWithWhatWasHeard_data()
    {
        QTest::addColumn<bool>("stalls");
        QTest::addColumn<Step>("step");
        QTest::newRow("unplugged: the wait fails") << false << Step::WaitFails;
        QTest::newRow("unplugged: the packet size fails") << false << Step::PacketSizeFails;
        QTest::newRow("unplugged: the packet cannot be had") << false << Step::AcquireFails;
        QTest::newRow("stalls: nothing comes") << true << Step::Packets;
    }
    void aMicrophoneThatGoesAwayEndsTheRecordingWithWhatWasHeard()
    {
        QFETCH(bool, stalls);
        QFETCH(Step, step);
        release();
        const int opensBefore = opens();
        recorder.vstart(true);
        syncWorker();
        QCOMPARE(opens(), opensBefore + 1);
        current()->feed(packets({std::vector<std::int16_t>(2 * 960, 300)}));
        if (!stalls)
            current()->feed({step, {}, DeviceFault::Lost});

        QTRY_COMPARE_WITH_TIMEOUT(sink.recordings.size(), 1, boundMs);
        QCOMPARE(splitPages(sink.recordings.first()).last().granule(), 2 * 960);
        QTRY_COMPARE(window.messages, (QStringList{started, audioError}));
        QCOMPARE(window.values.at(1).toMap().value(u"reason"_s).toString(), u"lost"_s);

        recorder.vstop(true);
        waitOutTheStop();
        QCOMPARE(sink.recordings.size(), 1);

        recordOnePacket();
        QCOMPARE(opens(), opensBefore + 2);
    }

private:
    void setOptions(ScriptedCaptureBackend::Options next)
    {
        std::lock_guard lock(mutex);
        options = next;
    }

    // The back end the worker made last. Read under the lock that guarded its
    // making: the worker thread's hand-over goes through Qt, which the thread
    // sanitizer does not see.
    ScriptedCaptureBackend *current()
    {
        std::lock_guard lock(mutex);
        return backend;
    }

    // Each case begins with no device, so that its set-up follows its options.
    void release()
    {
        QMetaObject::invokeMethod(
            &probe, [] { capture::releaseCaptureDevice(); }, Qt::BlockingQueuedConnection);
    }

    void syncWorker()
    {
        QMetaObject::invokeMethod(&probe, [] {}, Qt::BlockingQueuedConnection);
    }

    void waitOutTheStop()
    {
        QTest::qWait(input::stopDelayMs + 50);
        syncWorker();
        QCoreApplication::processEvents();
    }

    // A press that records one packet and is recognised.
    void recordOnePacket()
    {
        const qsizetype before = sink.recordings.size();
        window.messages.clear();
        recorder.vstart(true);
        syncWorker();
        ScriptedCaptureBackend *made = current();
        QVERIFY(made);
        const int releasedBefore = released();
        made->feed(packets({std::vector<std::int16_t>(960, 500)}));
        QTRY_COMPARE(released(), releasedBefore + 1);
        recorder.vstop(true);
        QTRY_COMPARE_WITH_TIMEOUT(sink.recordings.size(), before + 1, boundMs);
        QCOMPARE(splitPages(sink.recordings.last()).last().granule(), 960);
        QCOMPARE(window.messages, QStringList{started});
    }

    [[nodiscard]] int opens() const
    {
        std::lock_guard lock(log->mutex);
        return log->opens;
    }
    [[nodiscard]] int released() const
    {
        std::lock_guard lock(log->mutex);
        return log->released;
    }

    MessageWindow window;
    input recorder;
    QObject probe;
    RecordingSink sink;
    std::mutex mutex;
    ScriptedCaptureBackend::Options options;
    std::shared_ptr<ScriptedCaptureBackend::Log> log = std::make_shared<ScriptedCaptureBackend::Log>();
    ScriptedCaptureBackend *backend = nullptr;
};

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    CaptureFaultsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_capturefaults.moc"
