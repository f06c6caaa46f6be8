#include "audioinput.h"
#include "capturedevice.h"
#include "capturetesting.h"
#include "encoder.h"
#include "messenger.h"
#include "oggpages.h"

#include <QDeadlineTimer>
#include <QTest>
#include <QThread>

using namespace capturetesting;
using namespace std::chrono_literals;
using Log = ScriptedCaptureBackend::Log;
using Packets = std::vector<std::vector<std::int16_t>>;

// The encoder and the process-wide capture device together, over the scripted
// layer: the encoder lives on this test's thread, the device's posts arrive
// through its event loop.
class RecorderTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { messenger::instance()->recordingReady.connect(&sink, &RecordingSink::receive); }

    void init() { sink.recordings.clear(); }

    void cleanup()
    {
        capture::releaseCaptureDevice();
        QCoreApplication::sendPostedEvents();
    }

    void everyCapturedBlockIsEncodedBeforeTheStreamCloses()
    {
        const std::vector<qint16> speech = sentence();
        QVERIFY(speech.size() >= 100 * 480);
        std::deque<ScriptedCaptureBackend::WakeUp> script;
        for (std::size_t at = 0; at < 100 * 480; at += 3 * 480) {
            Packets blocks;
            for (std::size_t k = 0; k < 3 && at + k * 480 < 100 * 480; ++k)
                blocks.emplace_back(speech.begin() + long(at + k * 480),
                                    speech.begin() + long(at + (k + 1) * 480));
            script.push_back(packets(std::move(blocks)));
        }
        auto log = std::make_shared<Log>();
        useScriptedDevice(script, {.hold = 60s}, log);

        encoder e(messenger::instance());
        e.startEncoding();
        AudioInput *device = capture::currentDevice();
        QVERIFY(device && device->isRunning());
        // Wait until the device has delivered everything, without running the
        // event loop: every block is still queued when the device stops.
        QDeadlineTimer deadline(30s);
        while (!deadline.hasExpired() && [&] {
            std::lock_guard lock(log->mutex);
            return log->released < 100;
        }())
            QThread::sleep(1ms);
        QCOMPARE(e.writer().granule(), 0);
        e.stopDevice();
        QVERIFY(!device->isRunning());
        QVERIFY(sink.recordings.isEmpty());
        QCOMPARE(e.status(), 0);

        QTRY_COMPARE(sink.recordings.size(), 1);
        const QList<OggPage> pages = splitPages(sink.recordings.first());
        // Headers, a page per 100 ms (five packets), and the empty last page.
        QCOMPARE(pages.size(), 2 + 50 / encoder::streamedPagePackets + 1);
        QCOMPARE(pages.last().granule(), 50 * 960);
        QCOMPARE(pages.last().flags(), quint8(0x04));
        QCOMPARE(e.status(), encoder::idleStatus);
    }

    void setUpFailureEmitsNothingAndTheNextPressTriesAgain()
    {
        auto log = std::make_shared<Log>();
        useScriptedDevice({}, {.failOpen = true}, log);
        encoder e(messenger::instance());
        e.startEncoding();
        AudioInput *failed = capture::currentDevice();
        QVERIFY(failed && !failed->isInitialised());
        e.stopDevice();
        QCoreApplication::sendPostedEvents();
        QVERIFY(sink.recordings.isEmpty());
        // Only the two header pages wait in the encoder.
        QCOMPARE(splitPages(e.writer().stream()).size(), 2);

        useScriptedDevice({packets({std::vector<std::int16_t>(960, 100)})}, {}, log);
        e.startEncoding();
        QVERIFY(capture::currentDevice()->isRunning());
        QCOMPARE(splitPages(e.writer().stream()).size(), 2);
        QTRY_COMPARE(e.writer().granule(), 960);
        e.stopDevice();
        QTRY_COMPARE(sink.recordings.size(), 1);
        std::lock_guard lock(log->mutex);
        QCOMPARE(log->opens, 2);
        QCOMPARE(log->starts, 1);
    }

    void twoStartsStartOneThread()
    {
        auto log = std::make_shared<Log>();
        useScriptedDevice({}, {.hold = 60s}, log);
        encoder e(messenger::instance());
        e.startDevice();
        e.startDevice();
        AudioInput *device = capture::currentDevice();
        QVERIFY(device->isRunning());
        QTRY_VERIFY([&] {
            std::lock_guard lock(log->mutex);
            return log->waits >= 1;
        }());
        e.stopDevice();
        e.stopDevice();
        std::lock_guard lock(log->mutex);
        QCOMPARE(log->opens, 1);
        QCOMPARE(log->starts, 1);
        QCOMPARE(log->stops, 1);
        QCOMPARE(log->waitsEndedByWake, 1);
    }

    void oneDeviceServesEveryRecording()
    {
        auto log = std::make_shared<Log>();
        useScriptedDevice({}, {}, log);
        encoder e(messenger::instance());
        for (int i = 0; i < 3; ++i) {
            e.startEncoding();
            e.stopDevice();
            QTRY_COMPARE(sink.recordings.size(), i + 1);
        }
        std::lock_guard lock(log->mutex);
        QCOMPARE(log->opens, 1);
        QCOMPARE(log->starts, 3);
        QCOMPARE(log->stops, 3);
    }

    // A press right after the stop of the last recording: its start reaches
    // the encoder before the end that the stopped device posted. The last
    // recording is still sent whole, and the new one begins after it.
    void startBeforeTheLastEndArrivesWaitsForIt()
    {
        auto log = std::make_shared<Log>();
        useScriptedDevice({packets({std::vector<std::int16_t>(2 * 960, 100)})}, {}, log);
        encoder e(messenger::instance());
        e.startEncoding();
        QTRY_COMPARE(e.writer().granule(), 2 * 960);
        e.stopDevice();
        e.startEncoding();
        QTRY_COMPARE(sink.recordings.size(), 1);
        QCOMPARE(splitPages(sink.recordings.first()).last().granule(), 2 * 960);
        // The new recording is open, on the device started again.
        QCOMPARE(e.status(), 0);
        QVERIFY(capture::currentDevice()->isRunning());
        e.stopDevice();
        QTRY_COMPARE(sink.recordings.size(), 2);
        std::lock_guard lock(log->mutex);
        QCOMPARE(log->starts, 2);
    }

    void secondStartDuringARecordingBeginsAnewOnTheSameDevice()
    {
        auto log = std::make_shared<Log>();
        auto backend = std::make_shared<ScriptedCaptureBackend *>(nullptr);
        capture::setBackendFactory([log, backend] {
            auto made = std::make_unique<ScriptedCaptureBackend>(std::deque<ScriptedCaptureBackend::WakeUp>{},
                                                                 ScriptedCaptureBackend::Options{}, log);
            *backend = made.get();
            return made;
        });
        encoder e(messenger::instance());
        e.startEncoding();
        (*backend)->feed(packets({std::vector<std::int16_t>(2 * 960, 500)}));
        QTRY_COMPARE(e.writer().granule(), 2 * 960);
        const quint32 firstSerial = e.writer().serial();

        e.startEncoding();
        QCOMPARE(e.writer().granule(), 0);
        (*backend)->feed(packets({std::vector<std::int16_t>(960, 700)}));
        QTRY_COMPARE(e.writer().granule(), 960);
        e.stopDevice();
        QTRY_COMPARE(sink.recordings.size(), 1);
        const QList<OggPage> pages = splitPages(sink.recordings.first());
        QVERIFY(pages.first().serial() != firstSerial);
        QCOMPARE(pages.last().granule(), 960);
        std::lock_guard lock(log->mutex);
        QCOMPARE(log->starts, 1);
    }

    void postsToADestroyedEncoderAreDropped()
    {
        auto log = std::make_shared<Log>();
        auto backend = std::make_shared<ScriptedCaptureBackend *>(nullptr);
        capture::setBackendFactory([log, backend] {
            auto made = std::make_unique<ScriptedCaptureBackend>(std::deque<ScriptedCaptureBackend::WakeUp>{},
                                                                 ScriptedCaptureBackend::Options{}, log);
            *backend = made.get();
            return made;
        });
        auto e = std::make_unique<encoder>(messenger::instance());
        e->startEncoding();
        (*backend)->feed(packets({std::vector<std::int16_t>(960, 1)}));
        QTRY_VERIFY([&] {
            std::lock_guard lock(log->mutex);
            return log->released == 1;
        }());
        e.reset();
        capture::currentDevice()->stop();
        QCoreApplication::sendPostedEvents();
        QVERIFY(sink.recordings.isEmpty());
    }

private:
    RecordingSink sink;
};

QTEST_GUILESS_MAIN(RecorderTest)

#include "tst_recorder.moc"
