// Translation over TLS to the local service: body, headers, keys, replies.
#include "cloudfixture.h"

#include "clientstate.h"
#include "translation.h"
#include "tts.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QTest>

using namespace tolka::cloud;

namespace {

// The translator codes the committed table gives each locale.
QHash<QByteArray, QString> committedCodes()
{
    QFile file(QStringLiteral(TOLKA_CATALOGUE_DATA "/locale-to-translator.json"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QHash<QByteArray, QString> codes;
    const QJsonObject table = QJsonDocument::fromJson(file.readAll()).object();
    for (auto it = table.begin(); it != table.end(); ++it)
        codes.insert(it.key().toUtf8(), it.value().toString());
    return codes;
}

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

    void quotedHiGoesOutInTheCurrentShape()
    {
        client.ttrad("\"hi\"");
        QTRY_COMPARE(window.count(QStringLiteral("TRAD")), 1);
        QCOMPARE(window.last(QStringLiteral("TRAD")).value<QJsonValue>(),
                 QJsonValue(QStringLiteral("\"hi\"")));
        const LoggedRequest request = onlyRequest();
        const QByteArray body = "{\"inputs\":[{\"language\":\"fr\",\"targets\":[{\"language\":\"en\"}],"
                                "\"text\":\"\\\"hi\\\"\"}]}";
        QCOMPARE(request.method, QByteArray("POST"));
        QCOMPARE(request.path, QStringLiteral("/translate"));
        QCOMPARE(request.query, QStringLiteral("api-version=2026-06-06"));
        QCOMPARE(request.body, body);
        const QJsonObject input =
            QJsonDocument::fromJson(request.body)[QLatin1String("inputs")][0].toObject();
        QCOMPARE(input.value(QLatin1String("text")).toString(), QStringLiteral("\"hi\""));
        QCOMPARE(input.value(QLatin1String("language")).toString(), QStringLiteral("fr"));
        QCOMPARE(input.value(QLatin1String("targets"))[0][QLatin1String("language")].toString(),
                 QStringLiteral("en"));
        QCOMPARE(request.headers.values("content-length"),
                 (QList<QByteArray>{QByteArray::number(body.size())}));
        QCOMPARE(request.headers.values("content-type"),
                 (QList<QByteArray>{"application/json; charset=UTF-8"}));
        // A global resource: no region header.
        QVERIFY(!request.headers.contains("ocp-apim-subscription-region"));
        // No failure yet: the primary key.
        QCOMPARE(request.keyRole, QStringLiteral("translator-primary"));
        QCOMPARE(request.status, 200);
    }

    void everyLocaleGoesOutAsItsTranslatorCode()
    {
        const QHash<QByteArray, QString> expected = committedCodes();
        QCOMPARE(expected.size(), 148);
        QList<QByteArray> locales = expected.keys();
        std::ranges::sort(locales);
        // Each locale once as source and once as target; the service
        // refuses any code the translator does not accept.
        for (qsizetype i = 0; i < locales.size(); ++i) {
            client.setFastTranscribe(locales.at(i));
            client.setSpeechLanguage(locales.at((i + 1) % locales.size()));
            client.ttrad(locales.at(i));
        }
        QTRY_COMPARE(window.count(QStringLiteral("TRAD")), locales.size());
        QCOMPARE(window.count(QStringLiteral("ERROR")), 0);
        const QList<LoggedRequest> requests = fixture.service().log().entries();
        QCOMPARE(requests.size(), locales.size());
        for (const LoggedRequest &r : requests) {
            QCOMPARE(r.status, 200);
            const QJsonObject input = QJsonDocument::fromJson(r.body)[QLatin1String("inputs")][0].toObject();
            // The text names the source locale; the target is the next one.
            const QByteArray from = input.value(QLatin1String("text")).toString().toUtf8();
            const QByteArray to = locales.at((locales.indexOf(from) + 1) % locales.size());
            QCOMPARE(input.value(QLatin1String("language")).toString(), expected.value(from));
            QCOMPARE(input.value(QLatin1String("targets"))[0][QLatin1String("language")].toString(),
                     expected.value(to));
        }
    }

    void theRegionHeaderGoesOutExactlyWhenARegionIsSet()
    {
        clientState().credentials.translatorRegion = "westeurope";
        fixture.service().setTranslatorRegion(QStringLiteral("westeurope"));
        client.ttrad("regional");
        QTRY_COMPARE(window.count(QStringLiteral("TRAD")), 1);
        QCOMPARE(onlyRequest().headers.values("ocp-apim-subscription-region"),
                 QList<QByteArray>{"westeurope"});

        // Back to a global resource: the header goes, never twice.
        fixture.service().log().clear();
        clientState().credentials.translatorRegion.clear();
        fixture.service().setTranslatorRegion({});
        client.ttrad("global");
        QTRY_COMPARE(window.count(QStringLiteral("TRAD")), 2);
        QVERIFY(!onlyRequest().headers.contains("ocp-apim-subscription-region"));
        QVERIFY(!clientState().translateRequest.headers().contains("Ocp-Apim-Subscription-Region"));
    }

    void aMissingRegionIsAKeyRejection()
    {
        // The service stands in for a regional resource; the client sends none.
        fixture.service().setTranslatorRegion(QStringLiteral("westeurope"));
        client.ttrad("x");
        QTRY_COMPARE(window.count(QStringLiteral("ERROR")), 1);
        const QVariantMap error = window.last(QStringLiteral("ERROR")).toMap();
        QCOMPARE(error.value(QStringLiteral("service")).toString(), QStringLiteral("translation"));
        QCOMPARE(error.value(QStringLiteral("failure")).toString(), QStringLiteral("keyRejected"));
        QCOMPARE(error.value(QStringLiteral("code")).toString(), QStringLiteral("401000"));
        // The primary key, then the backup key once.
        const QList<LoggedRequest> requests = fixture.service().log().entries();
        QCOMPARE(requests.size(), 2);
        QCOMPARE(requests.at(0).keyRole, QStringLiteral("translator-primary"));
        QCOMPARE(requests.at(1).keyRole, QStringLiteral("translator-backup"));
        QCOMPARE(window.count(QStringLiteral("TRAD")), 0);
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
        QCOMPARE(onlyRequest().status, 200);
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
        // The withdrawn version's bare array is not the current reply.
        QTest::newRow("bare array") << QByteArray("[{\"translations\":[{\"text\":\"x\"}]}]");
        QTest::newRow("no value") << QByteArray("{\"translations\":[{\"text\":\"x\"}]}");
        QTest::newRow("no translations") << QByteArray("{\"value\":[{\"detectedLanguage\":{}}]}");
        QTest::newRow("no text") << QByteArray("{\"value\":[{\"translations\":[{}]}]}");
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
        QCOMPARE(requests.at(1).bodySha256, sha256Hex(translationBody("keep me", "fr", "en")));
    }

    void afterOneFailureTheBackupKeyStaysInUse()
    {
        fixture.service().script().push(Operation::Translation, ScriptedReply::withStatus(503));
        client.ttrad("a");
        QTRY_COMPARE(window.count(QStringLiteral("TRAD")), 1);
        QCOMPARE(clientState().failureCount, 0);
        // A later translation, after the success, still uses the backup key.
        fixture.service().log().clear();
        client.ttrad("b");
        QTRY_COMPARE(window.count(QStringLiteral("TRAD")), 2);
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
