// Speech synthesis over TLS to the local service: the document and its
// speaking rate, the audio
// handed to the hub unchanged (in pieces as it is read, or whole when
// TOLKA_SYNTHESIS_WHOLE_REPLY=1), resends and keys.
#include "cloudfixture.h"

#include "clientstate.h"
#include "messenger.h"
#include "synthesis.h"
#include "tts.h"

#include <QTest>

using namespace tolka::cloud;

class SynthesisTest : public QObject
{
    Q_OBJECT
    CloudFixture fixture;
    MessageWindow window;
    SpeechSink sink;
    tts client;

    LoggedRequest lastRequest()
    {
        return fixture.service().log().entries().value(fixture.service().log().entries().size() - 1);
    }

private slots:
    void initTestCase()
    {
        QString error;
        QVERIFY2(fixture.start(&error), qPrintable(error));
        sink.connectToHub();
    }

    void init()
    {
        fixture.reset();
        fixture.service().setSynthesisEngine(std::make_shared<ToneSynthesis>());
        fixture.service().setSynthesisPace(std::chrono::milliseconds(0));
        sink.clear();
        window.messages.clear();
        client.setSpeechLanguage("fr-FR");
    }

    void audioReachesTheHubUnchanged()
    {
        client.tvoice("Bonjour", "fr-FR-DeniseNeural");
        QTRY_COMPARE(sink.received.size(), 1);
        const QByteArray expected = ToneSynthesis::tone();
        QVERIFY(!expected.isEmpty());
        QCOMPARE(sink.received.constFirst(), expected);
        QCOMPARE(sink.received.constFirst().size() % 60, 0);
        QCOMPARE(sink.wholeReplies, wholeReplies() ? 1 : 0);
        QCOMPARE(sink.partialPieces, 0);
        // Synthesis sends no UI message.
        QVERIFY(window.messages.isEmpty());

        const LoggedRequest r = lastRequest();
        const QByteArray document =
            ssmlDocument("fr-FR", "fr-FR-DeniseNeural", "Bonjour", defaultSpeakingRate);
        QVERIFY(r.body.contains("<prosody rate='0.80'>"));
        QCOMPARE(r.path, QStringLiteral("/cognitiveservices/v1"));
        QCOMPARE(r.query, QString());
        QCOMPARE(r.bodySha256, sha256Hex(document));
        QCOMPARE(r.headers.values("content-length"),
                 (QList<QByteArray>{QByteArray::number(document.size())}));
        QCOMPARE(r.headers.values("content-type"), (QList<QByteArray>{"application/ssml+xml"}));
        QCOMPARE(r.headers.values("x-microsoft-outputformat"),
                 (QList<QByteArray>{"audio-24khz-16bit-24kbps-mono-opus"}));
        QCOMPARE(r.keyRole, QStringLiteral("westeurope-primary"));
    }

    void emptyReplyBodyEmitsNothing()
    {
        fixture.service().script().push(Operation::Synthesis, ScriptedReply::withBody(200, QByteArray()));
        clientState().failureCount = 1;
        client.tvoice("x", "fr-FR-DeniseNeural");
        QTRY_COMPARE(clientState().failureCount, 0);
        QVERIFY(sink.received.isEmpty());
    }

    void markupInTheTextStillMakesAValidDocument()
    {
        client.setSpeechLanguage("en-US");
        client.tvoice("Tom & Jerry <3 it's \"fine\"", "en-US-AvaNeural");
        // The service parses the document and would answer 400 when malformed.
        QTRY_COMPARE(sink.received.size(), 1);
        QCOMPARE(fixture.service().log().entries().size(), 1);
        QCOMPARE(lastRequest().status, 200);
    }

    void aVoiceTheServiceLacksIsABadRequest_data()
    {
        QTest::addColumn<QByteArray>("voice");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("unknown") << QByteArray("fr-FR-NobodyNeural");
        QTest::newRow("markup") << QByteArray("en-US-A'B");
    }
    void aVoiceTheServiceLacksIsABadRequest()
    {
        QFETCH(QByteArray, voice);
        client.tvoice("x", voice);
        QTRY_COMPARE(window.count(QStringLiteral("ERROR")), 1);
        // Sent once as built, then not again: the same document would be refused.
        QCOMPARE(fixture.service().log().entries().size(), 1);
        QCOMPARE(lastRequest().bodySha256, sha256Hex(ssmlDocument("fr-FR", voice, "x", defaultSpeakingRate)));
        QCOMPARE(lastRequest().status, 400);
        const QVariantMap error = window.last(QStringLiteral("ERROR")).toMap();
        QCOMPARE(error.value(QStringLiteral("service")).toString(), QStringLiteral("synthesis"));
        QCOMPARE(error.value(QStringLiteral("failure")).toString(), QStringLiteral("badRequest"));
        QCOMPARE(error.value(QStringLiteral("status")).toInt(), 400);
        QVERIFY(sink.received.isEmpty());
        QCOMPARE(clientState().failureCount, 0);
    }

    void aResendSpeaksTheCurrentLanguage()
    {
        fixture.service().script().push(Operation::Synthesis, ScriptedReply::heldWithStatus(500));
        client.tvoice("x", "fr-FR-DeniseNeural");
        QTRY_COMPARE(fixture.service().heldCount(), 1);
        client.setSpeechLanguage("de-DE");
        fixture.service().releaseHeld();
        QTRY_COMPARE(sink.received.size(), 1);
        const QList<LoggedRequest> requests = fixture.service().log().entries();
        QCOMPARE(requests.size(), 2);
        QCOMPARE(requests.at(0).bodySha256,
                 sha256Hex(ssmlDocument("fr-FR", "fr-FR-DeniseNeural", "x", defaultSpeakingRate)));
        QCOMPARE(requests.at(1).bodySha256,
                 sha256Hex(ssmlDocument("de-DE", "fr-FR-DeniseNeural", "x", defaultSpeakingRate)));
        QCOMPARE(requests.at(1).keyRole, QStringLiteral("westeurope-backup"));
    }

    void theSpeakingRateReachesTheService_data()
    {
        QTest::addColumn<double>("rate");
        QTest::addColumn<QByteArray>("written");
        QTest::newRow("faster") << 1.25 << QByteArray("1.25");
        QTest::newRow("too slow") << 0.3 << QByteArray("0.50");
    }
    void theSpeakingRateReachesTheService()
    {
        QFETCH(double, rate);
        QFETCH(QByteArray, written);
        client.setSpeakingRate(rate);
        QCOMPARE(clientState().speakingRate, written.toDouble());
        client.tvoice("Bonjour", "fr-FR-DeniseNeural");
        QTRY_COMPARE(sink.received.size(), 1);
        const LoggedRequest r = lastRequest();
        QCOMPARE(r.status, 200);
        QVERIFY2(r.body.contains("<prosody rate='" + written + "'>"), r.body.constData());
        QCOMPARE(r.bodySha256, sha256Hex(ssmlDocument("fr-FR", "fr-FR-DeniseNeural", "Bonjour", rate)));
    }

    void aResendSpeaksTheCurrentRate()
    {
        fixture.service().script().push(Operation::Synthesis, ScriptedReply::heldWithStatus(500));
        client.setSpeakingRate(1.25);
        client.tvoice("x", "fr-FR-DeniseNeural");
        QTRY_COMPARE(fixture.service().heldCount(), 1);
        client.setSpeakingRate(0.6);
        fixture.service().releaseHeld();
        QTRY_COMPARE(sink.received.size(), 1);
        const QList<LoggedRequest> requests = fixture.service().log().entries();
        QCOMPARE(requests.size(), 2);
        QVERIFY(requests.at(0).body.contains("<prosody rate='1.25'>"));
        QVERIFY(requests.at(1).body.contains("<prosody rate='0.60'>"));
    }

    // A service that speaks as it goes: the reply comes in several pieces of
    // whole packets, in order, which join to exactly the audio it sent.
    void aPacedReplyArrivesInPieces()
    {
        if (wholeReplies())
            QSKIP("whole replies asked for");
        const auto engine = std::make_shared<LongToneSynthesis>(2000);
        fixture.service().setSynthesisEngine(engine);
        fixture.service().setSynthesisPace(std::chrono::milliseconds(40));
        client.tvoice("Bonjour", "fr-FR-DeniseNeural");
        QTRY_COMPARE(sink.received.size(), 1);
        const QByteArray expected = engine->audio();
        QCOMPARE(expected.size(), 100 * 60);
        QCOMPARE(sink.received.constFirst(), expected);
        // Ten pieces were sent 40 ms apart; reads may join a few, not all.
        QVERIFY2(sink.pieceCounts.constFirst() >= 3,
                 qPrintable(QString::number(sink.pieceCounts.constFirst())));
        QCOMPARE(sink.partialPieces, 0);
        QCOMPARE(sink.disorders, 0);
        QCOMPARE(sink.wholeReplies, 0);
        QCOMPARE(fixture.service().log().entries().size(), 1);
        QVERIFY(window.messages.isEmpty());
    }

    // The connection breaks after two pieces went out: what arrived has been
    // handed on (and may be playing), so the request is not sent again,
    // which would speak the start twice; the interface hears of the failure.
    void aReplyBrokenAfterItsFirstPiecesIsNotResent()
    {
        if (wholeReplies())
            QSKIP("whole replies asked for");
        const auto engine = std::make_shared<LongToneSynthesis>(2000);
        fixture.service().setSynthesisEngine(engine);
        fixture.service().setSynthesisPace(std::chrono::milliseconds(30));
        fixture.service().script().push(Operation::Synthesis, ScriptedReply::droppedAfterPieces(2));
        client.tvoice("Bonjour", "fr-FR-DeniseNeural");
        QTRY_COMPARE(sink.received.size(), 1);
        QCOMPARE(sink.received.constFirst(), engine->audio().left(2 * CloudService::synthesisPieceBytes));
        QVERIFY(sink.pieceCounts.constFirst() >= 2);
        QCOMPARE(window.count(QStringLiteral("ERROR")), 1);
        const QVariantMap error = window.last(QStringLiteral("ERROR")).toMap();
        QCOMPARE(error.value(QStringLiteral("service")).toString(), QStringLiteral("synthesis"));
        QCOMPARE(error.value(QStringLiteral("failure")).toString(), QStringLiteral("transient"));
        QCOMPARE(clientState().failureCount, 0);
        // Longer than the first resend delay: still the one request.
        QTest::qWait(600);
        QCOMPARE(fixture.service().log().entries().size(), 1);
        QCOMPARE(sink.received.size(), 1);
    }

    // Before its first piece a failure is resent as ever, and the error
    // body never reaches the speaker as audio.
    void aFailureBeforeTheFirstPieceIsResent()
    {
        fixture.service().script().push(Operation::Synthesis, ScriptedReply::withStatus(500));
        client.tvoice("x", "fr-FR-DeniseNeural");
        QTRY_COMPARE(sink.received.size(), 1);
        QCOMPARE(sink.received.constFirst(), ToneSynthesis::tone());
        QCOMPARE(fixture.service().log().entries().size(), 2);
        QCOMPARE(window.count(QStringLiteral("ERROR")), 0);
    }

    void afterAFailedSynthesisRecognitionUsesTheBackupKey()
    {
        fixture.service().script().push(Operation::Synthesis, ScriptedReply::withStatus(503));
        client.tvoice("x", "fr-FR-DeniseNeural");
        QTRY_COMPARE(sink.received.size(), 1);
        QVERIFY(clientState().useSpeechBackupKey);
        client.setFastTranscribe("fr-FR");
        client.onRecording(oggOpusRecording(20));
        QTRY_COMPARE(window.count(QStringLiteral("SPEECH")), 1);
        QCOMPARE(lastRequest().keyRole, QStringLiteral("westeurope-backup"));
    }
};

QTEST_MAIN(SynthesisTest)
#include "tst_synthesis.moc"
