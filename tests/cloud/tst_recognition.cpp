// Short-audio recognition of recordings from the hub, over TLS to the local service.
#include "cloudfixture.h"

#include "clientstate.h"
#include "messenger.h"
#include "tts.h"

#include <QJsonValue>
#include <QTest>

#include <chrono>
#include <thread>

using namespace tolka::cloud;
using namespace std::chrono_literals;

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
        const QByteArray recording = oggOpusRecording(3, 600);
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
        QCOMPARE(r.bodyLength, recording.size());
        QCOMPARE(r.bodySha256, sha256Hex(recording));
        QCOMPARE(r.headers.values("content-length"),
                 (QList<QByteArray>{QByteArray::number(recording.size())}));
        QCOMPARE(r.status, 200);
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
        client.onRecording(oggOpusRecording(4));
        QTRY_COMPARE(window.count(QStringLiteral("SPEECH")), 1);
        const LoggedRequest r = fixture.service().log().entries().constFirst();
        QCOMPARE(r.path, QStringLiteral("/speech/recognition/conversation/cognitiveservices/v1"));
        QCOMPARE(r.query, QStringLiteral("language=de-DE&profanity=raw"));
    }

    void successWithoutDisplayTextSendsUndefined()
    {
        fixture.service().script().push(Operation::Recognition,
                                        ScriptedReply::withBody(200, "{\"RecognitionStatus\":\"Success\"}"));
        client.onRecording(oggOpusRecording(5));
        QTRY_COMPARE(window.count(QStringLiteral("SPEECH")), 1);
        QVERIFY(window.last(QStringLiteral("SPEECH")).value<QJsonValue>().isUndefined());
    }

    void nothingRecognisedIsToldApartAndNotAFailure_data()
    {
        QTest::addColumn<QByteArray>("status");
        QTest::newRow("NoMatch") << QByteArray("NoMatch");
        QTest::newRow("InitialSilenceTimeout") << QByteArray("InitialSilenceTimeout");
        QTest::newRow("BabbleTimeout") << QByteArray("BabbleTimeout");
    }
    void nothingRecognisedIsToldApartAndNotAFailure()
    {
        QFETCH(QByteArray, status);
        fixture.service().script().push(Operation::Recognition, ScriptedReply::recognition(status));
        // A cycle of failures was under way: the service answering ends it.
        clientState().failureCount = 2;
        client.onRecording(oggOpusRecording(6));
        QTRY_COMPARE(window.count(QStringLiteral("ERROR")), 1);
        QCOMPARE(window.trace(), busyPair() << QStringLiteral("ERROR"));
        const QVariantMap error = window.last(QStringLiteral("ERROR")).toMap();
        QCOMPARE(error.value(QStringLiteral("service")).toString(), QStringLiteral("recognition"));
        QCOMPARE(error.value(QStringLiteral("failure")).toString(), QStringLiteral("nothingRecognised"));
        QCOMPARE(error.value(QStringLiteral("code")).toString(), QString::fromLatin1(status));
        // One send, nothing counted, the primary key kept.
        QCOMPARE(fixture.service().log().entries().size(), 1);
        QCOMPARE(clientState().failureCount, 0);
        QVERIFY(!clientState().useSpeechBackupKey);
    }

    void aRecognitionErrorStatusIsResent()
    {
        fixture.service().script().push(Operation::Recognition, ScriptedReply::recognition("Error"));
        client.onRecording(oggOpusRecording(7));
        QTRY_COMPARE(window.count(QStringLiteral("SPEECH")), 1);
        QCOMPARE(window.trace(), busyPair() << busyPair() << QStringLiteral("SPEECH"));
        QCOMPARE(fixture.service().log().entries().size(), 2);
    }

    void emptyReplyBodySendsOnlyBusyFalse()
    {
        fixture.service().script().push(Operation::Recognition, ScriptedReply::withBody(200, QByteArray()));
        clientState().failureCount = 1;
        client.onRecording(oggOpusRecording(8));
        QTRY_COMPARE(clientState().failureCount, 0);
        QCOMPARE(window.trace(), busyPair());
    }

    void aFailedRequestIsResentWithItsOwnRecording()
    {
        const QByteArray a = oggOpusRecording(9);
        const QByteArray b = oggOpusRecording(10);
        fixture.service().script().push(Operation::Recognition, ScriptedReply::heldWithStatus(500));
        client.onRecording(a);
        QTRY_COMPARE(fixture.service().heldCount(), 1);
        // B arrives (and is sent) while A is still in flight; then A fails.
        client.onRecording(b);
        QTRY_COMPARE(window.count(QStringLiteral("SPEECH")), 1);
        client.setFastTranscribe("it-IT");
        fixture.service().releaseHeld();
        QTRY_COMPARE(window.count(QStringLiteral("SPEECH")), 2);
        QVERIFY(a != b);
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
        client.onRecording(oggOpusRecording(11));
        QTRY_COMPARE_WITH_TIMEOUT(window.count(QStringLiteral("WARNING")), 1, 20s);
        QStringList expected;
        for (int i = 0; i < 5; ++i)
            expected << busyPair();
        expected << QStringLiteral("WARNING:false");
        QCOMPARE(window.trace(), expected);
        QCOMPARE(fixture.service().log().entries().size(), 5);
    }

    void afterAFailureRecognitionUsesTheBackupKey()
    {
        fixture.service().script().push(Operation::Recognition, ScriptedReply::withStatus(500));
        client.onRecording(oggOpusRecording(12));
        QTRY_COMPARE(window.count(QStringLiteral("SPEECH")), 1);
        QVERIFY(clientState().useSpeechBackupKey);
        fixture.service().log().clear();
        client.onRecording(oggOpusRecording(13));
        QTRY_COMPARE(window.count(QStringLiteral("SPEECH")), 2);
        QCOMPARE(fixture.service().log().entries().constFirst().keyRole, QStringLiteral("westeurope-backup"));
    }

    void whatTheServiceCannotReadIsABadRequest_data()
    {
        QTest::addColumn<QByteArray>("recording");
        QTest::newRow("not Ogg") << QByteArray("RIFF\x24\0\0\0WAVEfmt ", 16);
        QTest::newRow("Ogg page, no Opus") << QByteArray("OggS").append(60, 'x');
        QTest::newRow("cut after the headers") << oggOpusRecording(14).first(60);
        QTest::newRow("over 60 s") << oggOpusRecording(15, 61000);
    }
    void whatTheServiceCannotReadIsABadRequest()
    {
        QFETCH(QByteArray, recording);
        client.onRecording(recording);
        QTRY_COMPARE(window.count(QStringLiteral("ERROR")), 1);
        QCOMPARE(window.trace(), busyPair() << QStringLiteral("ERROR"));
        QCOMPARE(window.last(QStringLiteral("ERROR")).toMap().value(QStringLiteral("failure")).toString(),
                 QStringLiteral("badRequest"));
        // Not resent: the same bytes would be refused again.
        QCOMPARE(fixture.service().log().entries().size(), 1);
        QCOMPARE(fixture.service().log().entries().constFirst().status, 400);
        QCOMPARE(clientState().failureCount, 0);
    }

    void aDroppedConnectionIsAFailureAndResent()
    {
        fixture.service().script().push(Operation::Recognition, ScriptedReply::dropped());
        client.onRecording(oggOpusRecording(16));
        QTRY_COMPARE(window.count(QStringLiteral("SPEECH")), 1);
        QCOMPARE(fixture.service().log().entries().size(), 2);
        QCOMPARE(window.trace(), busyPair() << busyPair() << QStringLiteral("SPEECH"));
    }
};

QTEST_MAIN(RecognitionTest)
#include "tst_recognition.moc"
