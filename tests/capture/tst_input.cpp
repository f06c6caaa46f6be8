#include "capturedevice.h"
#include "capturetesting.h"
#include "input.h"
#include "messenger.h"
#include "micpermission.h"
#include "oggpages.h"
#include "workerthread.h"

#include <QGuiApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QTest>
#include <QThread>

using namespace capturetesting;
using Log = ScriptedCaptureBackend::Log;

namespace {
// A window with the main window's forwardMessage, recording the tags.
const char windowQml[] = R"(
import QtQuick
Window {
    property var tags: []
    property var values: []
    function forwardMessage(tag: string, value: var): void {
        tags.push(tag);
        values.push(JSON.stringify(value));
    }
}
)";
} // namespace

// The recorder front end as QML drives it: the encoder on the shared worker
// thread, the capture device over the scripted layer, messages to a window.
class InputTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        messenger::instance()->recordingReady.connect(&sink, &RecordingSink::receive);
        capture::setBackendFactory([this] {
            auto made = std::make_unique<ScriptedCaptureBackend>(std::deque<ScriptedCaptureBackend::WakeUp>{},
                                                                 ScriptedCaptureBackend::Options{}, log);
            backend = made.get();
            return made;
        });
        QQmlComponent component(&engine);
        component.setData(windowQml, QUrl());
        window.reset(component.create());
        QVERIFY2(window, qPrintable(component.errorString()));
        QCOMPARE(QGuiApplication::topLevelWindows().size(), 1);

        recorder.init();
        QVERIFY(recorder.hub());
        QCOMPARE(recorder.worker(), workerThread());
        probe.moveToThread(recorder.worker().get());
    }

    void init()
    {
        sink.recordings.clear();
        window->setProperty("tags", QVariantList());
        window->setProperty("values", QVariantList());
        micpermission::setHooks({});
    }

    void cleanupTestCase()
    {
        QMetaObject::invokeMethod(
            &probe, [] { capture::releaseCaptureDevice(); }, Qt::BlockingQueuedConnection);
        QMetaObject::invokeMethod(
            &probe, [this] { probe.moveToThread(qApp->thread()); }, Qt::BlockingQueuedConnection);
    }

    void pressAndReleaseYieldOneRecording()
    {
        const int startsBefore = starts();
        recorder.vstart(true);
        QCOMPARE(tags(), QStringList{QStringLiteral("RECORDINGSTARTED")});
        QCOMPARE(window->property("values").toList().constFirst(), QVariant(true));
        syncWorker();
        QCOMPARE(starts(), startsBefore + 1);

        const int released0 = released();
        backend->feed(packets({std::vector<std::int16_t>(3 * 960, 300)}));
        QTRY_COMPARE(released(), released0 + 1);
        recorder.vstop(true);
        // The stop waits for the timer: until this thread's event loop runs,
        // the device keeps capturing.
        syncWorker();
        QCOMPARE(stops(), 0 + stopsBefore);
        QTRY_COMPARE(sink.recordings.size(), 1);
        stopsBefore = stops();

        const QList<OggPage> pages = splitPages(sink.recordings.first());
        QCOMPARE(pages.size(), 3);
        QCOMPARE(pages.last().granule(), 3 * 960);
        QCOMPARE(tags().size(), 1);
    }

    void withoutCloudSpeechNothingIsRecorded()
    {
        const int startsBefore = starts();
        recorder.vstart(false);
        QCOMPARE(tags(), QStringList{QStringLiteral("RECORDINGSTARTED")});
        recorder.vstop(false);
        // Let the stop timer run out, then make sure nothing reached the worker.
        QTest::qWait(input::stopDelayMs + 100);
        syncWorker();
        QCoreApplication::processEvents();
        QCOMPARE(starts(), startsBefore);
        QCOMPARE(stops(), stopsBefore);
        QVERIFY(sink.recordings.isEmpty());
    }

    void withoutPermissionNothingHappens_data()
    {
        QTest::addColumn<Qt::PermissionStatus>("status");
        QTest::newRow("undetermined") << Qt::PermissionStatus::Undetermined;
        QTest::newRow("denied") << Qt::PermissionStatus::Denied;
    }

    void withoutPermissionNothingHappens()
    {
        QFETCH(Qt::PermissionStatus, status);
        auto current = std::make_shared<Qt::PermissionStatus>(status);
        auto requests = std::make_shared<int>(0);
        // The user answers the prompt at once, with a yes.
        micpermission::setHooks({[current] { return *current; },
                                 [current, requests] {
                                     ++*requests;
                                     *current = Qt::PermissionStatus::Granted;
                                 }});
        const int startsBefore = starts();
        recorder.vstart(true);
        QCOMPARE(*requests, 1);
        syncWorker();
        QCoreApplication::processEvents();
        // Nothing is recorded; refused before, the user hears why (the
        // system may not ask again).
        if (status == Qt::PermissionStatus::Denied)
            QCOMPARE(tags(), QStringList{QStringLiteral("AUDIOERROR")});
        else
            QVERIFY(tags().isEmpty());
        QCOMPARE(starts(), startsBefore);
        window->setProperty("tags", QVariantList());
        window->setProperty("values", QVariantList());

        // The next press records.
        recorder.vstart(true);
        QCOMPARE(*requests, 1);
        QCOMPARE(tags(), QStringList{QStringLiteral("RECORDINGSTARTED")});
        syncWorker();
        QCOMPARE(starts(), startsBefore + 1);
        recorder.vstop(true);
        QTRY_COMPARE(sink.recordings.size(), 1);
        stopsBefore = stops();
    }

    void secondPressDuringARecordingStartsANewStream()
    {
        const int startsBefore = starts();
        recorder.vstart(true);
        syncWorker();
        const int released0 = released();
        backend->feed(packets({std::vector<std::int16_t>(2 * 960, 300)}));
        QTRY_COMPARE(released(), released0 + 1);
        syncWorker();

        recorder.vstart(true);
        syncWorker();
        const int released1 = released();
        backend->feed(packets({std::vector<std::int16_t>(960, 300)}));
        QTRY_COMPARE(released(), released1 + 1);
        recorder.vstop(true);
        QTRY_COMPARE(sink.recordings.size(), 1);
        stopsBefore = stops();

        QCOMPARE(starts(), startsBefore + 1);
        QCOMPARE(tags().size(), 2);
        QCOMPARE(splitPages(sink.recordings.first()).last().granule(), 960);
        // Nothing else is emitted later.
        syncWorker();
        QCoreApplication::processEvents();
        QCOMPARE(sink.recordings.size(), 1);
    }

    // Released, then pressed again before the tail is over: the first
    // recording is sent with what it heard, and the second goes on until its
    // own release, on the device that never stopped.
    void pressDuringTheTailSendsTheLastRecordingAndKeepsTheNewOne()
    {
        const int startsBefore = starts();
        recorder.vstart(true);
        syncWorker();
        const int released0 = released();
        backend->feed(packets({std::vector<std::int16_t>(2 * 960, 300)}));
        QTRY_COMPARE(released(), released0 + 1);
        recorder.vstop(true);
        recorder.vstart(true);
        syncWorker();
        QTRY_COMPARE(sink.recordings.size(), 1);
        QCOMPARE(splitPages(sink.recordings.first()).last().granule(), 2 * 960);

        // Longer than the first release's tail: its stop must not end this one.
        QTest::qWait(input::stopDelayMs + 100);
        syncWorker();
        QCoreApplication::processEvents();
        QCOMPARE(stops(), stopsBefore);
        const int released1 = released();
        backend->feed(packets({std::vector<std::int16_t>(3 * 960, 300)}));
        QTRY_COMPARE(released(), released1 + 1);
        recorder.vstop(true);
        QTRY_COMPARE(sink.recordings.size(), 2);
        QCOMPARE(splitPages(sink.recordings.last()).last().granule(), 3 * 960);
        QCOMPARE(starts(), startsBefore + 1);
        QCOMPARE(tags(), QStringList(2, QStringLiteral("RECORDINGSTARTED")));
        stopsBefore = stops();
    }

    void microphoneUnpluggedWhileRecordingEndsItAndTheNextPressOpensAfresh()
    {
        const int opensBefore = opens();
        recorder.vstart(true);
        syncWorker();
        const int released0 = released();
        backend->feed(packets({std::vector<std::int16_t>(2 * 960, 300)}));
        QTRY_COMPARE(released(), released0 + 1);
        // The headset goes away: the next packet cannot be read.
        backend->feed({ScriptedCaptureBackend::Step::PacketSizeFails, {}, DeviceFault::Lost});
        // The recording ends by itself with what was heard, and the window
        // hears why.
        QTRY_COMPARE(sink.recordings.size(), 1);
        QCOMPARE(splitPages(sink.recordings.first()).last().granule(), 2 * 960);
        QTRY_COMPARE(tags().size(), 2);
        QCOMPARE(tags().last(), QStringLiteral("AUDIOERROR"));
        const QJsonObject error = lastValue();
        QCOMPARE(error.value(u"device").toString(), QStringLiteral("microphone"));
        QCOMPARE(error.value(u"reason").toString(), QStringLiteral("lost"));

        // Releasing the button afterwards adds nothing.
        recorder.vstop(true);
        QTest::qWait(input::stopDelayMs + 50);
        syncWorker();
        QCoreApplication::processEvents();
        QCOMPARE(sink.recordings.size(), 1);
        QCOMPARE(opens(), opensBefore);

        // The next press sets the microphone up afresh, and records.
        recorder.vstart(true);
        syncWorker();
        QCOMPARE(opens(), opensBefore + 1);
        const int released1 = released();
        backend->feed(packets({std::vector<std::int16_t>(960, 300)}));
        QTRY_COMPARE(released(), released1 + 1);
        recorder.vstop(true);
        QTRY_COMPARE(sink.recordings.size(), 2);
        QCOMPARE(splitPages(sink.recordings.last()).last().granule(), 960);
        stopsBefore = stops();
    }

    void initAgainReplacesTheEncoder()
    {
        recorder.init();
        recorder.vstart(true);
        syncWorker();
        const int released0 = released();
        backend->feed(packets({std::vector<std::int16_t>(960, 300)}));
        QTRY_COMPARE(released(), released0 + 1);
        recorder.vstop(true);
        QTRY_COMPARE(sink.recordings.size(), 1);
        stopsBefore = stops();
    }

private:
    // Waits until the worker thread has run everything posted to it so far.
    void syncWorker()
    {
        QMetaObject::invokeMethod(&probe, [] {}, Qt::BlockingQueuedConnection);
    }

    [[nodiscard]] QStringList tags() const { return window->property("tags").toStringList(); }

    [[nodiscard]] QJsonObject lastValue() const
    {
        const QStringList values = window->property("values").toStringList();
        return values.isEmpty() ? QJsonObject() : QJsonDocument::fromJson(values.last().toUtf8()).object();
    }

    [[nodiscard]] int opens() const
    {
        std::lock_guard lock(log->mutex);
        return log->opens;
    }
    [[nodiscard]] int starts() const
    {
        std::lock_guard lock(log->mutex);
        return log->starts;
    }
    [[nodiscard]] int stops() const
    {
        std::lock_guard lock(log->mutex);
        return log->stops;
    }
    [[nodiscard]] int released() const
    {
        std::lock_guard lock(log->mutex);
        return log->released;
    }

    QQmlEngine engine;
    std::unique_ptr<QObject> window;
    input recorder;
    QObject probe;
    RecordingSink sink;
    std::shared_ptr<Log> log = std::make_shared<Log>();
    ScriptedCaptureBackend *backend = nullptr;
    int stopsBefore = 0;
};

QTEST_MAIN(InputTest)

#include "tst_input.moc"
