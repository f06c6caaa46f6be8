// A real ALSA microphone that stops delivering, without sound hardware: the
// default PCM is ALSA's file plugin reading a FIFO that the test feeds in
// real time (tests/support/fifomicrophone.*). When the feeder goes quiet the
// plugin's read() blocks and the capture thread with it; the recording must
// still end within the stall time-out (at the release, or while held), keep
// what was heard, tell the window, and the next press must record once the
// feeder is back.
#include "../playback/messagewindow.h"
#include "audioinput.h"
#include "capturedevice.h"
#include "capturetesting.h"
#include "encoder.h"
#include "fifomicrophone.h"
#include "messenger.h"
#include "oggpages.h"

#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTest>

#include <future>

using namespace capturetesting;
using namespace Qt::StringLiterals;

namespace {
constexpr std::chrono::milliseconds stallTimeout{600};
// Far beyond the stall time-out: a stop that takes this long hangs.
constexpr std::chrono::seconds stopBound{20};
constexpr int recordingMs = 20000;
} // namespace

class AlsaCaptureStallTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY2(qEnvironmentVariable("ALSA_CONFIG_PATH").endsWith(QLatin1String("file-devices.conf")),
                 "run through ctest, which points ALSA at the test configuration");
        QVERIFY(folder.isValid());
        QVERIFY(microphone.start());
        qputenv("TOLKA_MIC_FILE", QFile::encodeName(microphone.path()));
        window.create();
        messenger::instance()->recordingReady.connect(&sink, &RecordingSink::receive);
        capture::setBackendFactory({});
        capture::setStallTimeout(stallTimeout);
    }
    void cleanupTestCase()
    {
        capture::releaseCaptureDevice();
        capture::setStallTimeout(deviceStallTimeout);
        microphone.stop();
    }

    // Released while the microphone is quiet, or held on: either way the
    // recording ends within the stall time-out.
    void aMicrophoneThatGoesQuietEndsTheRecording_data()
    {
        QTest::addColumn<bool>("released");
        QTest::newRow("released") << true;
        QTest::newRow("held on") << false;
    }
    void aMicrophoneThatGoesQuietEndsTheRecording()
    {
        QFETCH(bool, released);
        sink.recordings.clear();
        window.messages.clear();
        window.values.clear();
        encoder e(messenger::instance());
        e.startEncoding();
        AudioInput *device = capture::currentDevice();
        QVERIFY(device && device->isRunning());
        // Some real-time audio arrives (the first streamed pages go out).
        QTRY_VERIFY_WITH_TIMEOUT(e.writer().granule() >= 5 * 960, recordingMs);

        // The feeder stops writing; the capture thread blocks in read().
        microphone.setQuiet(true);
        QTest::qWait(100);
        const qint64 heard = e.writer().granule();
        QVERIFY(heard > 0);

        if (released) {
            // The release: bounded however long the read blocks.
            std::future<void> stopping = std::async(std::launch::async, [&e] { e.stopDevice(); });
            QVERIFY2(stopping.wait_for(stopBound) == std::future_status::ready, "the stop hangs");
        }

        // What was heard is recognised, and the window hears why it ended.
        QTRY_COMPARE_WITH_TIMEOUT(sink.recordings.size(), 1, recordingMs);
        QVERIFY(device->isAbandoned());
        QCOMPARE(device->fault(), DeviceFault::Stalled);
        // A release after the end adds nothing.
        e.stopDevice();
        const qint64 kept = splitPages(sink.recordings.first()).last().granule();
        QVERIFY(kept >= heard - 2 * 960 && kept <= heard + 2 * 960);
        QTRY_VERIFY(window.messages.contains(u"AUDIOERROR="_s));
        const QVariantMap error = window.values.at(window.messages.indexOf(u"AUDIOERROR="_s)).toMap();
        QCOMPARE(error.value(u"device"_s).toString(), u"microphone"_s);
        QCOMPARE(error.value(u"reason"_s).toString(), u"lost"_s);

        // The feeder comes back: the old capture thread's read returns, and
        // it posts nothing more into the finished recording.
        microphone.setQuiet(false);
        QTest::qWait(200);
        QCoreApplication::processEvents();
        QCOMPARE(sink.recordings.size(), 1);
        QCOMPARE(e.status(), encoder::idleStatus);

        // The next press opens the microphone afresh and records.
        window.messages.clear();
        e.startEncoding();
        AudioInput *fresh = capture::currentDevice();
        QVERIFY(fresh && fresh != device && fresh->isRunning());
        QTRY_VERIFY_WITH_TIMEOUT(e.writer().granule() >= 10 * 960, recordingMs);
        e.stopDevice();
        QVERIFY(!fresh->isAbandoned());
        QTRY_COMPARE_WITH_TIMEOUT(sink.recordings.size(), 2, recordingMs);
        QVERIFY(splitPages(sink.recordings.last()).last().granule() >= 10 * 960);
        QCOMPARE(window.messages.count(u"AUDIOERROR="_s), 0);
    }

private:
    QTemporaryDir folder;
    FifoMicrophone microphone{folder.filePath(u"microphone"_s)};
    MessageWindow window;
    RecordingSink sink;
};

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    AlsaCaptureStallTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_alsacapturestall.moc"
