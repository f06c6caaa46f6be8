// The local service itself: checks like the real services, error bodies,
// HTTP/1.1 fallback, dropped connections, its audio, and the executable.
#include "cloudfixture.h"

#include "cloudconfig.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSslConfiguration>
#include <QTemporaryDir>
#include <QTest>

#include <opus.h>

#include <memory>

using namespace Qt::StringLiterals;

namespace config = tolka::cloud::config;

namespace {

const QString translatePath = QStringLiteral("/translate?api-version=2026-06-06");
const QString recognitionPath =
    QStringLiteral("/speech/recognition/conversation/cognitiveservices/v1?language=en-US&profanity=raw");
const QString synthesisPath = QStringLiteral("/cognitiveservices/v1");
const QByteArray validTranslation =
    R"({"inputs":[{"text":"hi","language":"fr","targets":[{"language":"en"}]}]})";
const QByteArray validSsml =
    "<speak version='1.0' xml:lang='en-US'><voice name='en-US-AvaNeural'>Hello</voice></speak>";

// A translation body of texts, each to the given targets, from French.
QByteArray translationOf(const QStringList &texts, const QStringList &targets)
{
    QJsonArray targetList;
    for (const QString &t : targets)
        targetList.append(QJsonObject{{QStringLiteral("language"), t}});
    QJsonArray inputs;
    for (const QString &text : texts)
        inputs.append(QJsonObject{{QStringLiteral("text"), text},
                                  {QStringLiteral("language"), QStringLiteral("fr")},
                                  {QStringLiteral("targets"), targetList}});
    return QJsonDocument(QJsonObject{{QStringLiteral("inputs"), inputs}}).toJson(QJsonDocument::Compact);
}

// The code of an error body: a number for the translator, a string for the
// speech services; empty when the body is not one.
QString errorCodeOf(const QByteArray &body)
{
    const QJsonValue code = QJsonDocument::fromJson(body)[QLatin1String("error")][QLatin1String("code")];
    return code.isDouble() ? QStringLiteral("#") + QString::number(code.toInteger()) : code.toString();
}

struct Result
{
    QNetworkReply::NetworkError error = QNetworkReply::NoError;
    int status = 0;
    QByteArray body;
};

} // namespace

class LocalServiceTest : public QObject
{
    Q_OBJECT
    CloudFixture fixture;
    QNetworkAccessManager manager;
    QSslConfiguration tls;

    QNetworkRequest request(const QString &pathAndQuery,
                            const QList<std::pair<QByteArray, QByteArray>> &headers, bool http2 = true)
    {
        QNetworkRequest r(QUrl(fixture.service().origin() + pathAndQuery));
        QSslConfiguration own = tls;
        if (!http2)
            own.setAllowedNextProtocols({QSslConfiguration::NextProtocolHttp1_1});
        r.setSslConfiguration(own);
        r.setAttribute(QNetworkRequest::Http2AllowedAttribute, http2);
        for (const auto &[name, value] : headers)
            r.setRawHeader(name, value);
        return r;
    }

    Result send(const QNetworkRequest &r, const QByteArray &body, const QByteArray &verb = "POST")
    {
        std::unique_ptr<QNetworkReply> reply(manager.sendCustomRequest(r, verb, body));
        if (!QTest::qWaitFor([&] { return reply->isFinished(); }))
            return {QNetworkReply::TimeoutError, 0, {}};
        return {reply->error(), reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(),
                reply->readAll()};
    }

    static QList<std::pair<QByteArray, QByteArray>>
    translatorHeaders(const QByteArray &key = config::translatorKey)
    {
        return {{"Ocp-Apim-Subscription-Key", key}, {"Content-Type", "application/json"}};
    }
    static QList<std::pair<QByteArray, QByteArray>> recognitionHeaders()
    {
        return {{"Ocp-Apim-Subscription-Key", config::speechKeyEastUs},
                {"Content-Type", "audio/ogg; codecs=opus"}};
    }
    static QList<std::pair<QByteArray, QByteArray>> synthesisHeaders()
    {
        return {{"Ocp-Apim-Subscription-Key", config::speechBackupKeyWestEurope},
                {"Content-Type", "application/ssml+xml"},
                {"X-Microsoft-OutputFormat", "audio-24khz-16bit-24kbps-mono-opus"}};
    }

    static bool hasErrorBody(const QByteArray &body)
    {
        const QJsonObject error =
            QJsonDocument::fromJson(body).object().value(QStringLiteral("error")).toObject();
        return !errorCodeOf(body).isEmpty() && !error.value(QStringLiteral("message")).toString().isEmpty();
    }

    Result translate(const QByteArray &body, const QString &path = translatePath)
    {
        return send(request(path, translatorHeaders()), body);
    }

private slots:
    void initTestCase()
    {
        QString error;
        QVERIFY2(fixture.startService(&error), qPrintable(error));
        tls = QSslConfiguration::defaultConfiguration();
        QVERIFY(tls.addCaCertificates(fixture.caPath()));
    }

    void init() { fixture.reset(); }

    void validRequestsGetRealShapedReplies()
    {
        Result r = send(request(translatePath, translatorHeaders()), validTranslation);
        QCOMPARE(r.status, 200);
        const QJsonValue translation =
            QJsonDocument::fromJson(r.body)[QLatin1String("value")][0][QLatin1String("translations")][0];
        QCOMPARE(translation[QLatin1String("text")].toString(), QStringLiteral("hi"));
        QCOMPARE(translation[QLatin1String("language")].toString(), QStringLiteral("en"));
        r = send(request(recognitionPath, recognitionHeaders()), oggOpusRecording(1));
        QCOMPARE(r.status, 200);
        QCOMPARE(QJsonDocument::fromJson(r.body)[QLatin1String("DisplayText")].toString(),
                 QStringLiteral("Hello world."));
        r = send(request(synthesisPath, synthesisHeaders()), validSsml);
        QCOMPARE(r.status, 200);
        QVERIFY(!r.body.isEmpty());
        QCOMPARE(fixture.service().log().entries().size(), 3);
        QCOMPARE(fixture.service().log().entries().at(2).keyRole, QStringLiteral("westeurope-backup"));
    }

    void synthesisAudioIsSixtyBytePacketsThatDecode()
    {
        const Result r = send(request(synthesisPath, synthesisHeaders()), validSsml);
        QCOMPARE(r.status, 200);
        QVERIFY(r.body.size() >= 60);
        QCOMPARE(r.body.size() % 60, 0);
        int error = 0;
        OpusDecoder *decoder = opus_decoder_create(24000, 1, &error);
        QCOMPARE(error, OPUS_OK);
        opus_int16 pcm[480 * 3];
        for (qsizetype offset = 0; offset < r.body.size(); offset += 60) {
            const int samples =
                opus_decode(decoder, reinterpret_cast<const unsigned char *>(r.body.constData() + offset), 60,
                            pcm, 480 * 3, 0);
            QCOMPARE(samples, 480);
        }
        opus_decoder_destroy(decoder);
    }

    void keysAreChecked_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("key");
        QTest::newRow("no key") << translatePath << QByteArray();
        QTest::newRow("unknown key") << translatePath << QByteArray("0123456789abcdef0123456789abcdef");
        QTest::newRow("speech key on the translator")
            << translatePath << QByteArray(config::speechKeyWestEurope);
        QTest::newRow("translator key on recognition")
            << recognitionPath << QByteArray(config::translatorKey);
        QTest::newRow("two keys") << translatePath
                                  << QByteArray(config::translatorKey) + ", " + config::translatorBackupKey;
    }
    void keysAreChecked()
    {
        QFETCH(QString, path);
        QFETCH(QByteArray, key);
        QList<std::pair<QByteArray, QByteArray>> headers =
            path == translatePath ? translatorHeaders(key) : recognitionHeaders();
        headers[0].second = key;
        const Result r =
            send(request(path, headers), path == translatePath ? validTranslation : oggOpusRecording(1));
        QCOMPARE(r.status, 401);
        QVERIFY(hasErrorBody(r.body));
        // The translator's codes are numbers: 401015 for a speech key, else 401000.
        if (path == translatePath)
            QCOMPARE(errorCodeOf(r.body), key == config::speechKeyWestEurope ? QStringLiteral("#401015")
                                                                             : QStringLiteral("#401000"));
        else
            QCOMPARE(errorCodeOf(r.body), QStringLiteral("401"));
    }

    void translatorRulesGiveTheRealCodes_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("code");
        const QString bare = QStringLiteral("/translate");
        QTest::newRow("withdrawn version")
            << bare + u"?api-version=2025-05-01-preview"_s << validTranslation << 400 << "#400021";
        QTest::newRow("version 3.0") << bare + u"?api-version=3.0"_s << validTranslation << 400 << "#400021";
        QTest::newRow("no version") << bare << validTranslation << 400 << "#400021";
        QTest::newRow("withdrawn bare-array body")
            << translatePath << QByteArray(R"([{"text":"a","language":"fr","targets":[{"language":"en"}]}])")
            << 400 << "#400074";
        QTest::newRow("not JSON") << translatePath << QByteArray("{\"inputs\":[") << 400 << "#400074";
        QTest::newRow("empty body") << translatePath << QByteArray() << 400 << "#400074";
        QTest::newRow("unescaped control character")
            << translatePath
            << QByteArray("{\"inputs\":[{\"text\":\"a\nb\",\"targets\":[{\"language\":\"en\"}]}]}") << 400
            << "#400074";
        QTest::newRow("trailing backslash")
            << translatePath
            << QByteArray("{\"inputs\":[{\"text\":\"a\\\",\"targets\":[{\"language\":\"en\"}]}]}") << 400
            << "#400074";
        QTest::newRow("no inputs") << translatePath << QByteArray(R"({"text":"a"})") << 400 << "#400074";
        QTest::newRow("empty inputs") << translatePath << QByteArray(R"({"inputs":[]})") << 400 << "#400005";
        QTest::newRow("no text") << translatePath
                                 << QByteArray(R"({"inputs":[{"targets":[{"language":"en"}]}]})") << 400
                                 << "#400005";
        QTest::newRow("text in PascalCase")
            << translatePath << QByteArray(R"({"inputs":[{"Text":"a","targets":[{"language":"en"}]}]})")
            << 400 << "#400005";
        QTest::newRow("input not an object")
            << translatePath << QByteArray(R"({"inputs":["a"]})") << 400 << "#400020";
        QTest::newRow("no targets") << translatePath << QByteArray(R"({"inputs":[{"text":"a"}]})") << 400
                                    << "#400036";
        QTest::newRow("target is a locale")
            << translatePath << translationOf({QStringLiteral("a")}, {QStringLiteral("en-US")}) << 400
            << "#400036";
        QTest::newRow("source is a locale")
            << translatePath
            << QByteArray(R"({"inputs":[{"text":"a","language":"fr-FR","targets":[{"language":"en"}]}]})")
            << 400 << "#400035";
        QTest::newRow("empty source")
            << translatePath
            << QByteArray(R"({"inputs":[{"text":"a","language":"","targets":[{"language":"en"}]}]})") << 400
            << "#400035";
        QTest::newRow("50,001 characters")
            << translatePath << translationOf({QString(50001, u'a')}, {QStringLiteral("en")}) << 400
            << "#400050";
        QTest::newRow("25,001 characters to two targets")
            << translatePath
            << translationOf({QString(25001, u'a')}, {QStringLiteral("en"), QStringLiteral("de")}) << 400
            << "#400050";
        QTest::newRow("1001 inputs") << translatePath
                                     << translationOf(QStringList(1001, QStringLiteral("a")),
                                                      {QStringLiteral("en")})
                                     << 400 << "#400072";
        // At the limits, and codes in any case: accepted.
        QTest::newRow("50,000 characters")
            << translatePath << translationOf({QString(50000, u'a')}, {QStringLiteral("en")}) << 200 << "";
        QTest::newRow("lower-case fr-ca")
            << translatePath << translationOf({QStringLiteral("a")}, {QStringLiteral("fr-ca")}) << 200 << "";
        QTest::newRow("no source: detected")
            << translatePath << QByteArray(R"({"inputs":[{"text":"a","targets":[{"language":"zh-Hant"}]}]})")
            << 200 << "";
    }
    void translatorRulesGiveTheRealCodes()
    {
        QFETCH(QString, path);
        QFETCH(QByteArray, body);
        QFETCH(int, status);
        QFETCH(QString, code);
        const Result r = translate(body, path);
        QCOMPARE(r.status, status);
        QCOMPARE(errorCodeOf(r.body), code);
        if (status != 200)
            QVERIFY2(hasErrorBody(r.body), r.body.constData());
    }

    void everyInputAndTargetIsAnsweredInOrder()
    {
        const Result r = translate(translationOf({QStringLiteral("one"), QStringLiteral("two")},
                                                 {QStringLiteral("en"), QStringLiteral("pt-PT")}));
        QCOMPARE(r.status, 200);
        const QJsonArray value = QJsonDocument::fromJson(r.body)[QLatin1String("value")].toArray();
        QCOMPARE(value.size(), 2);
        for (qsizetype i = 0; i < 2; ++i) {
            const QJsonArray translations = value.at(i)[QLatin1String("translations")].toArray();
            QCOMPARE(translations.size(), 2);
            QCOMPARE(translations.at(0)[QLatin1String("language")].toString(), QStringLiteral("en"));
            QCOMPARE(translations.at(1)[QLatin1String("language")].toString(), QStringLiteral("pt-PT"));
            QCOMPARE(translations.at(1)[QLatin1String("text")].toString(),
                     i == 0 ? QStringLiteral("one") : QStringLiteral("two"));
        }
    }

    void aRegionalResourceNeedsItsRegion_data()
    {
        QTest::addColumn<QByteArray>("region");
        QTest::addColumn<int>("status");
        QTest::newRow("missing") << QByteArray() << 401;
        QTest::newRow("another region") << QByteArray("eastus") << 401;
        QTest::newRow("its region") << QByteArray("westeurope") << 200;
        QTest::newRow("its region, other case") << QByteArray("WestEurope") << 200;
    }
    void aRegionalResourceNeedsItsRegion()
    {
        QFETCH(QByteArray, region);
        QFETCH(int, status);
        fixture.service().setTranslatorRegion(QStringLiteral("westeurope"));
        auto headers = translatorHeaders();
        if (!region.isEmpty())
            headers.append({"Ocp-Apim-Subscription-Region", region});
        const Result r = send(request(translatePath, headers), validTranslation);
        QCOMPARE(r.status, status);
        if (status == 401)
            QCOMPARE(errorCodeOf(r.body), QStringLiteral("#401000"));
        // A global resource takes any region header, or none.
        fixture.service().setTranslatorRegion({});
        QCOMPARE(send(request(translatePath, headers), validTranslation).status, 200);
    }

    void speechRulesRefuseWhatTheServiceCannotUse_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("status");
        QTest::newRow("not Ogg") << recognitionPath << QByteArray("RIFF....WAVE") << 400;
        QTest::newRow("an Ogg page without Opus")
            << recognitionPath << QByteArray("OggS").append(200, 'x') << 400;
        QTest::newRow("headers cut") << recognitionPath << oggOpusRecording(2).first(40) << 400;
        QTest::newRow("61 s of audio") << recognitionPath << oggOpusRecording(3, 61000) << 400;
        QTest::newRow("60 s of audio") << recognitionPath << oggOpusRecording(4, 60000) << 200;
        QTest::newRow("no language")
            << QStringLiteral("/speech/recognition/conversation/cognitiveservices/v1?profanity=raw")
            << oggOpusRecording(5) << 400;
        QTest::newRow("malformed SSML")
            << synthesisPath << QByteArray("<speak><voice name='a'>Tom & Jerry</voice></speak>") << 400;
        QTest::newRow("SSML without voice")
            << synthesisPath << QByteArray("<speak version='1.0' xml:lang='en-US'>hi</speak>") << 400;
        QTest::newRow("speak without version")
            << synthesisPath
            << QByteArray("<speak xml:lang='en-US'><voice name='en-US-AvaNeural'>hi</voice></speak>") << 400;
        QTest::newRow("speak without xml:lang")
            << synthesisPath
            << QByteArray("<speak version='1.0'><voice name='en-US-AvaNeural'>hi</voice></speak>") << 400;
        QTest::newRow("unknown voice") << synthesisPath
                                       << QByteArray("<speak version='1.0' xml:lang='en-US'><voice "
                                                     "name='en-US-NobodyNeural'>hi</voice></speak>")
                                       << 400;
        QTest::newRow("empty voice name")
            << synthesisPath
            << QByteArray("<speak version='1.0' xml:lang='en-US'><voice name=''>hi</voice></speak>") << 400;
        QTest::newRow("a voice of another language")
            << synthesisPath
            << QByteArray("<speak version='1.0' xml:lang='en-US'><voice "
                          "name='fr-FR-DeniseNeural'>hi</voice></speak>")
            << 200;
    }
    void speechRulesRefuseWhatTheServiceCannotUse()
    {
        QFETCH(QString, path);
        QFETCH(QByteArray, body);
        QFETCH(int, status);
        const auto headers =
            path.startsWith(QLatin1String("/speech")) ? recognitionHeaders() : synthesisHeaders();
        const Result r = send(request(path, headers), body);
        QCOMPARE(r.status, status);
        if (status != 200) {
            QVERIFY2(hasErrorBody(r.body), r.body.constData());
            QCOMPARE(errorCodeOf(r.body), QString::number(status));
        }
    }

    void theVoiceListIsTheCatalogues()
    {
        const QString path = QStringLiteral("/cognitiveservices/voices/list");
        Result r =
            send(request(path, {{"Ocp-Apim-Subscription-Key", config::speechKeyWestEurope}}), {}, "GET");
        QCOMPARE(r.status, 200);
        const QJsonArray voices = QJsonDocument::fromJson(r.body).array();
        QCOMPARE(voices.size(), 482);
        QSet<QString> names;
        for (const QJsonValue &voice : voices) {
            const QString shortName = voice[QLatin1String("ShortName")].toString();
            QVERIFY(shortName.startsWith(voice[QLatin1String("Locale")].toString() + u'-'));
            QVERIFY(
                shortName.endsWith(voice[QLatin1String("DisplayName")].toString() + QLatin1String("Neural")));
            QCOMPARE(voice[QLatin1String("VoiceType")].toString(), QStringLiteral("Neural"));
            names.insert(shortName);
        }
        QCOMPARE(names.size(), 482);
        QVERIFY(names.contains(QStringLiteral("fr-FR-DeniseNeural")));
        // A key is needed, and only GET is served.
        QCOMPARE(send(request(path, {}), {}, "GET").status, 401);
        QCOMPARE(
            send(request(path, {{"Ocp-Apim-Subscription-Key", config::translatorKey}}), {}, "GET").status,
            401);
        QCOMPARE(send(request(path, {{"Ocp-Apim-Subscription-Key", config::speechKeyWestEurope}}), {}).status,
                 405);
    }

    void theOfflineReportIsThereOnlyWithEngines()
    {
        const QString path = QStringLiteral("/tolka/offline");
        QCOMPARE(send(request(path, {}), {}, "GET").status, 404);
        fixture.service().setCapabilities(R"({"recognition":["en-US"],"synthesis":[],"translation":[]})");
        const Result r = send(request(path, {}), {}, "GET");
        QCOMPARE(r.status, 200);
        QCOMPARE(QJsonDocument::fromJson(r.body)[QLatin1String("recognition")][0].toString(),
                 QStringLiteral("en-US"));
        fixture.service().setCapabilities({});
    }

    void everyRunHasACertificateOfItsOwnName()
    {
        QTemporaryDir first;
        QTemporaryDir second;
        QString error;
        const auto a = generateIdentity(first.path(), &error);
        const auto b = generateIdentity(second.path(), &error);
        QVERIFY2(a && b, qPrintable(error));
        // A client trusting both finds each one's issuer by name.
        QVERIFY(a->certificate.subjectInfo(QSslCertificate::CommonName) !=
                b->certificate.subjectInfo(QSslCertificate::CommonName));
    }

    void scriptedRepliesCarryRetryAfterAndRecognitionStatuses()
    {
        fixture.service().script().push(Operation::Translation, ScriptedReply::withRetryAfter(429, "7"));
        std::unique_ptr<QNetworkReply> reply(
            manager.post(request(translatePath, translatorHeaders()), validTranslation));
        QTRY_VERIFY(reply->isFinished());
        QCOMPARE(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 429);
        QCOMPARE(reply->rawHeader("Retry-After"), QByteArray("7"));
        for (const char *status : {"NoMatch", "InitialSilenceTimeout", "BabbleTimeout", "Error"}) {
            fixture.service().script().push(Operation::Recognition, ScriptedReply::recognition(status));
            const Result r = send(request(recognitionPath, recognitionHeaders()), oggOpusRecording(6));
            QCOMPARE(r.status, 200);
            const QJsonDocument reply = QJsonDocument::fromJson(r.body);
            QCOMPARE(reply[QLatin1String("RecognitionStatus")].toString(), QString::fromLatin1(status));
            QVERIFY(reply[QLatin1String("DisplayText")].isUndefined());
        }
    }

    void wrongContentTypesAreRefused()
    {
        auto headers = translatorHeaders();
        headers[1].second = "text/plain";
        QCOMPARE(send(request(translatePath, headers), validTranslation).status, 415);
        auto speech = recognitionHeaders();
        speech[1].second = "audio/wav";
        QCOMPARE(send(request(recognitionPath, speech), oggOpusRecording(7)).status, 415);
        auto synthesis = synthesisHeaders();
        synthesis[2].second = "riff-24khz-16bit-mono-pcm";
        QCOMPARE(send(request(synthesisPath, synthesis), validSsml).status, 400);
    }

    void unknownPathsAndMethods()
    {
        QCOMPARE(send(request(QStringLiteral("/nowhere"), translatorHeaders()), validTranslation).status,
                 404);
        QCOMPARE(send(request(translatePath, translatorHeaders()), {}, "GET").status, 405);
    }

    // Synthesis audio goes out in chunked pieces, paced when asked, over
    // either protocol: several reads, and together exactly the engine's audio.
    void synthesisComesInPacedPieces_data()
    {
        QTest::addColumn<bool>("http2");
        QTest::newRow("HTTP/2") << true;
        QTest::newRow("HTTP/1.1") << false;
    }
    void synthesisComesInPacedPieces()
    {
        QFETCH(bool, http2);
        const auto engine = std::make_shared<LongToneSynthesis>(1000);
        fixture.service().setSynthesisEngine(engine);
        fixture.service().setSynthesisPace(std::chrono::milliseconds(40));
        std::unique_ptr<QNetworkReply> reply(
            manager.sendCustomRequest(request(synthesisPath, synthesisHeaders(), http2), "POST", validSsml));
        QByteArray body;
        int reads = 0;
        connect(reply.get(), &QNetworkReply::readyRead, this, [&] {
            body += reply->readAll();
            ++reads;
        });
        const bool finished = QTest::qWaitFor([&] { return reply->isFinished(); }, 10000);
        fixture.service().setSynthesisEngine(std::make_shared<ToneSynthesis>());
        fixture.service().setSynthesisPace(std::chrono::milliseconds(0));
        QVERIFY(finished);
        body += reply->readAll();
        QCOMPARE(reply->error(), QNetworkReply::NoError);
        QCOMPARE(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 200);
        QCOMPARE(body, engine->audio());
        QCOMPARE(body.size(), 50 * 60);
        QVERIFY2(reads >= 3, qPrintable(QString::number(reads)));
        if (!http2)
            QCOMPARE(reply->rawHeader("Transfer-Encoding"), QByteArray("chunked"));
        QCOMPARE(fixture.service().log().entries().constFirst().alpn,
                 http2 ? QByteArray("h2") : QByteArray("http/1.1"));
    }

    void http11IsTheFallback()
    {
        const Result r = send(request(translatePath, translatorHeaders(), false), validTranslation);
        QCOMPARE(r.status, 200);
        const LoggedRequest logged = fixture.service().log().entries().constFirst();
        QCOMPARE(logged.alpn, QByteArray("http/1.1"));
        QCOMPARE(logged.tlsProtocol, QStringLiteral("TLSv1.3"));
    }

    void aDroppedConnectionLeavesTheServiceRunning()
    {
        fixture.service().script().push(Operation::Translation, ScriptedReply::dropped());
        const Result dropped = send(request(translatePath, translatorHeaders()), validTranslation);
        QVERIFY(dropped.error != QNetworkReply::NoError);
        QCOMPARE(dropped.status, 0);
        QCOMPARE(send(request(translatePath, translatorHeaders()), validTranslation).status, 200);
        QCOMPARE(fixture.service().log().entries().constFirst().status, 0);
    }

    void scriptedRepliesComeInOrderPerOperation()
    {
        fixture.service().script().push(Operation::Translation, ScriptedReply::withStatus(503));
        fixture.service().script().push(Operation::Translation, ScriptedReply::withBody(200, "[]"));
        QCOMPARE(send(request(recognitionPath, recognitionHeaders()), oggOpusRecording(8)).status, 200);
        QCOMPARE(send(request(translatePath, translatorHeaders()), validTranslation).status, 503);
        QCOMPARE(send(request(translatePath, translatorHeaders()), validTranslation).body, QByteArray("[]"));
        QCOMPARE(fixture.service().script().pending(Operation::Translation), 0);
    }

    void garbageNeverStopsTheService()
    {
        auto *random = QRandomGenerator::global();
        for (const QString &path : {translatePath, recognitionPath, synthesisPath}) {
            const auto headers = path == translatePath   ? translatorHeaders()
                                 : path == synthesisPath ? synthesisHeaders()
                                                         : recognitionHeaders();
            for (int i = 0; i < 20; ++i) {
                QByteArray body(random->bounded(0, 2000), Qt::Uninitialized);
                for (char &c : body)
                    c = char(random->bounded(256));
                if (i % 2)
                    body.prepend(path == recognitionPath ? "OggS"
                                 : path == translatePath ? "{\"inputs\":[{\"text\":\""
                                                         : "<speak version='1.0' xml:lang='en-US'>");
                const Result r = send(request(path, headers), body);
                QVERIFY2(r.status == 200 || r.status == 400, qPrintable(QString::number(r.status)));
            }
        }
        QCOMPARE(send(request(translatePath, translatorHeaders()), validTranslation).status, 200);
    }

    void theExecutablePrintsItsOriginAndServes()
    {
        QProcess process;
        process.start(QStringLiteral(TOLKA_LOCALSERVICE), {QStringLiteral("--port"), QStringLiteral("0")});
        QVERIFY2(process.waitForStarted(), qPrintable(process.errorString()));
        QString origin;
        QString caPath;
        // Readiness is the "listening on" line; no fixed wait.
        while (origin.isEmpty() && process.state() == QProcess::Running) {
            if (!process.canReadLine() && !process.waitForReadyRead(10000))
                break;
            while (process.canReadLine()) {
                const QString line = QString::fromUtf8(process.readLine()).trimmed();
                if (line.startsWith(QLatin1String("CA certificate: ")))
                    caPath = line.mid(16);
                else if (line.startsWith(QLatin1String("listening on ")))
                    origin = line.mid(13);
            }
        }
        QVERIFY2(!origin.isEmpty() && !caPath.isEmpty(), process.readAllStandardError().constData());
        QSslConfiguration own = QSslConfiguration::defaultConfiguration();
        QVERIFY(own.addCaCertificates(caPath));
        QNetworkRequest r(QUrl(origin + translatePath));
        r.setSslConfiguration(own);
        for (const auto &[name, value] : translatorHeaders())
            r.setRawHeader(name, value);
        const Result result = send(r, validTranslation);
        QCOMPARE(result.status, 200);
        // Its request log names the key by role, never by value.
        QTRY_VERIFY(process.canReadLine() || process.waitForReadyRead(100));
        const QByteArray logLine = process.readLine();
        QVERIFY2(logLine.contains("key=translator-primary"), logLine.constData());
        QVERIFY(!logLine.contains(config::translatorKey));
        process.kill();
        process.waitForFinished();
    }
};

QTEST_MAIN(LocalServiceTest)
#include "tst_localservice.moc"
