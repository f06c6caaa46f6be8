// Translation over TLS to the local service: body, headers, keys, replies.
#include "cloudfixture.h"

#include "clientstate.h"
#include "translation.h"
#include "tts.h"

#include <QJsonValue>
#include <QTest>

using namespace tolka::cloud;

namespace {
const QByteArray quotedHiBody =
    "[{\"Text\":\"\\\"hi\\\"\", \"language\": \"fr-FR\", \"targets\": [{ \"language\": \"en-US\" }]}]";
} // namespace

class TranslationTest : public QObject
{
    Q_OBJECT
    CloudFixture fixture;
    MessageWindow window;
    tts client;

    LoggedRequest onlyRequest()
    {
        const QList<LoggedRequest> requests = fixture.service().log().entries();
        return requests.size() == 1 ? requests.constFirst() : LoggedRequest{};
    }

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
        client.setSpeechLanguage("en-US");
    }

    void quotedHiGoesOutAsThe78ByteBody()
    {
        client.ttrad("\"hi\"");
        QTRY_COMPARE(window.count(QStringLiteral("TRAD")), 1);
        QCOMPARE(window.last(QStringLiteral("TRAD")).value<QJsonValue>(),
                 QJsonValue(QStringLiteral("\"hi\"")));
        const LoggedRequest request = onlyRequest();
        QCOMPARE(request.method, QByteArray("POST"));
        QCOMPARE(request.path, QStringLiteral("/translate"));
        QCOMPARE(request.query, QStringLiteral("api-version=2025-05-01-preview"));
        QCOMPARE(request.bodyLength, 78);
        QCOMPARE(request.bodySha256, sha256Hex(quotedHiBody));
        QCOMPARE(request.headers.values("content-length"), (QList<QByteArray>{"78"}));
        QCOMPARE(request.headers.values("content-type"), (QList<QByteArray>{"application/json"}));
        // No failure yet in this process: the primary key.
        QCOMPARE(request.keyRole, QStringLiteral("translator-primary"));
    }

    void http2AndTls13AreNegotiated()
    {
        client.ttrad("hello");
        QTRY_COMPARE(window.count(QStringLiteral("TRAD")), 1);
        QCOMPARE(onlyRequest().alpn, QByteArray("h2"));
        QCOMPARE(onlyRequest().tlsProtocol, QStringLiteral("TLSv1.3"));
    }

    void anyTextArrivesIntact_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("control characters") << QByteArray("a\x01\x02\x1f\tb\r\nc\0d", 11);
        QTest::newRow("trailing backslash") << QByteArray("C:\\temp\\");
        QTest::newRow("quotes and backslashes") << QByteArray("say \"\\\"hi\\\"\"");
        QTest::newRow("non-ASCII") << QByteArray("Grüße, 你好, مرحبا 😀");
    }
    void anyTextArrivesIntact()
    {
        QFETCH(QByteArray, text);
        client.ttrad(text);
        // The service echoes what it parsed: a 2xx proves the body was valid.
        QTRY_COMPARE(window.count(QStringLiteral("TRAD")), 1);
        QCOMPARE(window.last(QStringLiteral("TRAD")).value<QJsonValue>().toString(), QString::fromUtf8(text));
        QCOMPARE(onlyRequest().status, 200);
    }

    void bothCodesAreMappedOnTheWire()
    {
        client.setFastTranscribe("zh-HK");
        client.setSpeechLanguage("yue-CN");
        client.ttrad("x");
        QTRY_COMPARE(window.count(QStringLiteral("TRAD")), 1);
        QCOMPARE(onlyRequest().bodySha256, sha256Hex(translationBody("x", "zh-Hant", "zh-Hans")));
    }

    void emptyReplyBodySendsNothingAndResetsTheCounter()
    {
        fixture.service().script().push(Operation::Translation, ScriptedReply::withBody(200, QByteArray()));
        clientState().failureCount = 1;
        client.ttrad("x");
        QTRY_COMPARE(clientState().failureCount, 0);
        QCOMPARE(window.count(QStringLiteral("TRAD")), 0);
    }

    void replyWithoutTranslationSendsUndefined_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("object") << QByteArray("{\"translations\":[{\"text\":\"x\"}]}");
        QTest::newRow("no translations") << QByteArray("[{\"detectedLanguage\":{}}]");
        QTest::newRow("no text") << QByteArray("[{\"translations\":[{}]}]");
        QTest::newRow("not JSON") << QByteArray("<html>");
    }
    void replyWithoutTranslationSendsUndefined()
    {
        QFETCH(QByteArray, body);
        fixture.service().script().push(Operation::Translation, ScriptedReply::withBody(200, body));
        client.ttrad("x");
        QTRY_COMPARE(window.count(QStringLiteral("TRAD")), 1);
        QVERIFY(window.last(QStringLiteral("TRAD")).value<QJsonValue>().isUndefined());
    }

    void aResendKeepsItsLanguagesAndText()
    {
        fixture.service().script().push(Operation::Translation, ScriptedReply::withStatus(503));
        client.ttrad("keep me");
        // Changed after the first send; the resend must not pick them up.
        client.setFastTranscribe("de-DE");
        client.setSpeechLanguage("it-IT");
        QTRY_COMPARE(window.count(QStringLiteral("TRAD")), 1);
        const QList<LoggedRequest> requests = fixture.service().log().entries();
        QCOMPARE(requests.size(), 2);
        QCOMPARE(requests.at(1).bodySha256, requests.at(0).bodySha256);
        QCOMPARE(requests.at(1).bodySha256, sha256Hex(translationBody("keep me", "fr-FR", "en-US")));
    }

    void afterOneFailureTheBackupKeyStaysInUse()
    {
        // The previous case failed once: every later translation uses the backup key.
        client.ttrad("a");
        QTRY_COMPARE(window.count(QStringLiteral("TRAD")), 1);
        QCOMPARE(onlyRequest().keyRole, QStringLiteral("translator-backup"));
        QVERIFY(clientState().useTranslatorBackupKey);
    }

    void templateNeverCarriesTwoKeyOrLengthHeaders()
    {
        for (const char *text : {"one", "two", "three"})
            client.ttrad(text);
        QTRY_COMPARE(window.count(QStringLiteral("TRAD")), 3);
        for (const LoggedRequest &request : fixture.service().log().entries()) {
            QCOMPARE(request.headers.values("ocp-apim-subscription-key").size(), 1);
            QCOMPARE(request.headers.values("content-length").size(), 1);
        }
        QCOMPARE(clientState().translateRequest.headers().values("Ocp-Apim-Subscription-Key").size(), 1);
        QCOMPARE(clientState().translateRequest.headers().values("Content-Length").size(), 1);
    }
};

QTEST_MAIN(TranslationTest)
#include "tst_translation.moc"
