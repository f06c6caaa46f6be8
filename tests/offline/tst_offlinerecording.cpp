// A recording made by the application's encoder goes through the cloud
// client to the local service with offline recognition: spoken English
// comes back as "SPEECH" text, silence as no text.
#include "capturetesting.h"
#include "cloudfixture.h"
#include "encoder.h"
#include "pocketsphinxrecognition.h"
#include "speechaudio.h"

#include "messenger.h"
#include "tts.h"

#include <QJsonValue>
#include <QTest>

#include <algorithm>

namespace {

constexpr int replyWait = 60000;

// The application's encoder records 48 kHz mono PCM, fed in 10 ms blocks as
// the capture device delivers them (the device itself is scripted to be
// absent). Finishing the stream fires the hub's recordingReady, which hands
// the recording to the client as in the application; `sink` keeps a copy.
QByteArray record(const std::vector<qint16> &pcm48k, capturetesting::RecordingSink &sink)
{
    sink.recordings.clear();
    encoder e(messenger::instance());
    e.startEncoding();
    for (std::size_t at = 0; at < pcm48k.size(); at += 480)
        e.pushSamples(pcm48k.data() + at, qint64(std::min<std::size_t>(480, pcm48k.size() - at)));
    e.finishStream();
    return sink.recordings.isEmpty() ? QByteArray() : sink.recordings.constLast();
}

} // namespace

class OfflineRecordingTest : public QObject
{
    Q_OBJECT
    CloudFixture fixture;
    MessageWindow window;
    tts client;
    capturetesting::RecordingSink sink;

private slots:
    void initTestCase()
    {
        QString error;
        QVERIFY2(fixture.start(&error), qPrintable(error));
        fixture.service().setRecognitionEngine(std::make_shared<PocketsphinxRecognition>());
        capturetesting::useScriptedDevice({}, {.failOpen = true}, nullptr);
        messenger::instance()->recordingReady.connect(&sink, &capturetesting::RecordingSink::receive);
        client.setFastTranscribe("en-US");
    }

    void init()
    {
        fixture.reset();
        window.messages.clear();
    }

    void spokenRecordingIsRecognised()
    {
        const QString sentence = QStringLiteral("My friends are happy.");
        const QByteArray recording = record(speechaudio::spokenEnglish(sentence, 48000), sink);
        QVERIFY(recording.startsWith("OggS"));
        QTRY_COMPARE_WITH_TIMEOUT(window.count(QStringLiteral("SPEECH")), 1, replyWait);
        const QString text = window.last(QStringLiteral("SPEECH")).value<QJsonValue>().toString();
        const int errors = speechaudio::wordErrors(speechaudio::words(sentence), speechaudio::words(text));
        qInfo("\"%s\" -> \"%s\" (%d errors)", qPrintable(sentence), qPrintable(text), errors);
        QVERIFY2(errors <= 1, qPrintable(text));
        QCOMPARE(fixture.service().log().entries().constFirst().status, 200);
    }

    void silentRecordingHasNoText()
    {
        record(std::vector<qint16>(48000, 0), sink);
        // "NoMatch": the interface is told nothing was heard, not sent a text.
        QTRY_COMPARE_WITH_TIMEOUT(window.count(QStringLiteral("ERROR")), 1, replyWait);
        const QVariantMap error = window.last(QStringLiteral("ERROR")).toMap();
        QCOMPARE(error.value(QStringLiteral("failure")).toString(), QStringLiteral("nothingRecognised"));
        QCOMPARE(error.value(QStringLiteral("code")).toString(), QStringLiteral("NoMatch"));
        QCOMPARE(window.count(QStringLiteral("SPEECH")), 0);
        QCOMPARE(fixture.service().log().entries().size(), 1);
    }
};

QTEST_MAIN(OfflineRecordingTest)
#include "tst_offlinerecording.moc"
