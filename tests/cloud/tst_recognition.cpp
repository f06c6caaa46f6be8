// Short-audio recognition of recordings from the hub, over TLS to the local service.
#include "cloudfixture.h"

#include "clientstate.h"
#include "messenger.h"
#include "tts.h"

#include <QJsonValue>
#include <QTest>

#include <thread>

using namespace tolka::cloud;

class RecognitionTest : public QObject
{
    Q_OBJECT
    CloudFixture fixture;
    MessageWindow window;
    tts client;

    static QStringList busyPair() { return {QStringLiteral("BUSY:true"), QStringLiteral("BUSY:false")}; }

private slots:
    void initTestCase()
    {
        QString error;
        QVERIFY2(fixture.start(&error), qPrintable(error));
    }

    void init()
    {
        fixture.reset();
        window.messages.clear();
        client.setFastTranscribe("fr-FR");
    }

    void recordingFromTheWorkerThreadIsRecognised()
    {
        const QByteArray recording = fakeRecording('r', 1234);
        // The encoder emits on another thread; the client handles it on this one.
        std::thread([recording] { messenger::instance()->recordingReady.fire(recording); }).join();
        QTRY_COMPARE(window.count(QStringLiteral("SPEECH")), 1);
        QCOMPARE(window.trace(), busyPair() << QStringLiteral("SPEECH"));
        QCOMPARE(window.last(QStringLiteral("SPEECH")).value<QJsonValue>(),
                 QJsonValue(QStringLiteral("Hello world.")));
        QCOMPARE(clientState().lastRecording, recording);

        const QList<LoggedRequest> requests = fixture.service().log().entries();
        QCOMPARE(requests.size(), 1);
        const LoggedRequest &r = requests.constFirst();
        QCOMPARE(r.path, QStringLiteral("/speech/recognition/conversation/cognitiveservices/v1"));
        QCOMPARE(r.query, QStringLiteral("language=fr-FR&profanity=raw"));
        QCOMPARE(r.bodyLength, 1234);
        QCOMPARE(r.bodySha256, sha256Hex(recording));
        QCOMPARE(r.headers.values("content-length"), (QList<QByteArray>{"1234"}));
        QCOMPARE(r.headers.values("content-type"), (QList<QByteArray>{"audio/ogg; codecs=opus"}));
        // TZ=UTC: region westeurope; no failure yet: the primary key.
        QCOMPARE(r.keyRole, QStringLiteral("westeurope-primary"));
        QCOMPARE(r.alpn, QByteArray("h2"));
    }

    void afterSetFastTranscribeTheShortAudioFormIsUsed()
    {
        client.setFastTranscribe("de-DE");
        QCOMPARE(clientState().fastTranscribe, false);
        QCOMPARE(clientState().sourceLanguage, QByteArray("de-DE"));
        client.onRecording(fakeRecording('d', 50));
        QTRY_COMPARE(window.count(QStringLiteral("SPEECH")), 1);
        const LoggedRequest r = fixture.service().log().entries().constFirst();
        QCOMPARE(r.path, QStringLiteral("/speech/recognition/conversation/cognitiveservices/v1"));
        QCOMPARE(r.query, QStringLiteral("language=de-DE&profanity=raw"));
    }

    void replyWithoutDisplayTextSendsUndefined()
    {
        fixture.service().script().push(Operation::Recognition,
                                        ScriptedReply::withBody(200, "{\"RecognitionStatus\":\"NoMatch\"}"));
        client.onRecording(fakeRecording('n', 10));
        QTRY_COMPARE(window.count(QStringLiteral("SPEECH")), 1);
        QVERIFY(window.last(QStringLiteral("SPEECH")).value<QJsonValue>().isUndefined());
    }

    void emptyReplyBodySendsOnlyBusyFalse()
    {
        fixture.service().script().push(Operation::Recognition, ScriptedReply::withBody(200, QByteArray()));
        clientState().failureCount = 1;
        client.onRecording(fakeRecording('e', 10));
        QTRY_COMPARE(clientState().failureCount, 0);
        QCOMPARE(window.trace(), busyPair());
    }

    void aFailedRequestIsResentWithItsOwnRecording()
    {
        const QByteArray a = fakeRecording('A', 300);
        const QByteArray b = fakeRecording('B', 400);
        fixture.service().script().push(Operation::Recognition, ScriptedReply::heldWithStatus(500));
        client.onRecording(a);
        QTRY_COMPARE(fixture.service().heldCount(), 1);
        // B arrives (and is sent) while A is still in flight; then A fails.
        client.onRecording(b);
        QTRY_COMPARE(window.count(QStringLiteral("SPEECH")), 1);
        client.setFastTranscribe("it-IT");
        fixture.service().releaseHeld();
        QTRY_COMPARE(window.count(QStringLiteral("SPEECH")), 2);
        const QList<LoggedRequest> requests = fixture.service().log().entries();
        QCOMPARE(requests.size(), 3);
        QCOMPARE(requests.at(0).bodySha256, sha256Hex(a));
        QCOMPARE(requests.at(1).bodySha256, sha256Hex(b));
        // A again, in its own language: no utterance lost, none sent twice instead.
        QCOMPARE(requests.at(2).bodySha256, sha256Hex(a));
        QCOMPARE(requests.at(2).query, QStringLiteral("language=fr-FR&profanity=raw"));
        QCOMPARE(window.count(QStringLiteral("BUSY")), 6);
    }

    void fiveFailuresGiveFiveBusyPairsThenWarning()
    {
        for (int i = 0; i < 5; ++i)
            fixture.service().script().push(Operation::Recognition, ScriptedReply::withStatus(503));
        client.onRecording(fakeRecording('f', 20));
        QTRY_COMPARE(window.count(QStringLiteral("WARNING")), 1);
        QStringList expected;
        for (int i = 0; i < 5; ++i)
            expected << busyPair();
        expected << QStringLiteral("WARNING:false");
        QCOMPARE(window.trace(), expected);
        QCOMPARE(fixture.service().log().entries().size(), 5);
    }

    void afterAFailureRecognitionUsesTheBackupKey()
    {
        QVERIFY(clientState().useSpeechBackupKey);
        client.onRecording(fakeRecording('k', 20));
        QTRY_COMPARE(window.count(QStringLiteral("SPEECH")), 1);
        QCOMPARE(fixture.service().log().entries().constFirst().keyRole, QStringLiteral("westeurope-backup"));
    }

    void aDroppedConnectionIsAFailureAndResent()
    {
        fixture.service().script().push(Operation::Recognition, ScriptedReply::dropped());
        client.onRecording(fakeRecording('x', 20));
        QTRY_COMPARE(window.count(QStringLiteral("SPEECH")), 1);
        QCOMPARE(fixture.service().log().entries().size(), 2);
        QCOMPARE(window.trace(), busyPair() << busyPair() << QStringLiteral("SPEECH"));
    }
};

QTEST_MAIN(RecognitionTest)
#include "tst_recognition.moc"
