// Speech synthesis over TLS to the local service: the document, the audio
// handed to the hub unchanged, resends and keys.
#include "cloudfixture.h"

#include "clientstate.h"
#include "messenger.h"
#include "synthesis.h"
#include "tts.h"

#include <QTest>

using namespace tolka::cloud;

namespace {
// Stands in for the speaker: collects what the hub delivers.
struct AudioSink
{
    QList<QByteArray> received;
    void onSpeech(QByteArray audio) { received.append(audio); }
};
} // namespace

class SynthesisTest : public QObject
{
    Q_OBJECT
    CloudFixture fixture;
    MessageWindow window;
    AudioSink sink;
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
        messenger::instance()->speechReady.connect(&sink, &AudioSink::onSpeech);
    }

    void init()
    {
        fixture.reset();
        sink.received.clear();
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
        // Synthesis sends no UI message.
        QVERIFY(window.messages.isEmpty());

        const LoggedRequest r = lastRequest();
        const QByteArray document = ssmlDocument("fr-FR", "fr-FR-DeniseNeural", "Bonjour");
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
        QCOMPARE(lastRequest().bodySha256, sha256Hex(ssmlDocument("fr-FR", voice, "x")));
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
        QCOMPARE(requests.at(0).bodySha256, sha256Hex(ssmlDocument("fr-FR", "fr-FR-DeniseNeural", "x")));
        QCOMPARE(requests.at(1).bodySha256, sha256Hex(ssmlDocument("de-DE", "fr-FR-DeniseNeural", "x")));
        QCOMPARE(requests.at(1).keyRole, QStringLiteral("westeurope-backup"));
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
