// The local service itself: checks like the real services, error bodies,
// HTTP/1.1 fallback, dropped connections, its audio, and the executable.
#include "cloudfixture.h"

#include "cloudconfig.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSslConfiguration>
#include <QTest>

#include <opus.h>

#include <memory>

namespace config = tolka::cloud::config;

namespace {

const QString translatePath = QStringLiteral("/translate?api-version=2025-05-01-preview");
const QString recognitionPath =
    QStringLiteral("/speech/recognition/conversation/cognitiveservices/v1?language=en-US&profanity=raw");
const QString synthesisPath = QStringLiteral("/cognitiveservices/v1");
const QByteArray validTranslation =
    "[{\"Text\":\"hi\", \"language\": \"fr-FR\", \"targets\": [{ \"language\": \"en-US\" }]}]";
const QByteArray validSsml = "<speak version='1.0' xml:lang='en-US'><voice name='v'>Hello</voice></speak>";

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
        return !error.value(QStringLiteral("code")).toString().isEmpty() &&
               !error.value(QStringLiteral("message")).toString().isEmpty();
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
        QCOMPARE(QJsonDocument::fromJson(r.body)[0][QLatin1String("translations")][0][QLatin1String("text")]
                     .toString(),
                 QStringLiteral("hi"));
        r = send(request(recognitionPath, recognitionHeaders()), fakeRecording('x', 64));
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
            send(request(path, headers), path == translatePath ? validTranslation : fakeRecording('x', 8));
        QCOMPARE(r.status, 401);
        QVERIFY(hasErrorBody(r.body));
    }

    void malformedRequestsGetAnErrorBody_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("status");
        QTest::newRow("unescaped control character")
            << translatePath
            << QByteArray(
                   "[{\"Text\":\"a\nb\", \"language\": \"fr\", \"targets\": [{ \"language\": \"en\" }]}]")
            << 400;
        QTest::newRow("trailing backslash")
            << translatePath
            << QByteArray(
                   "[{\"Text\":\"a\\\", \"language\": \"fr\", \"targets\": [{ \"language\": \"en\" }]}]")
            << 400;
        QTest::newRow("not an array") << translatePath << QByteArray("{\"Text\":\"a\"}") << 400;
        QTest::newRow("no targets") << translatePath << QByteArray("[{\"Text\":\"a\"}]") << 400;
        QTest::newRow("empty JSON body") << translatePath << QByteArray() << 400;
        QTest::newRow("no api-version") << QStringLiteral("/translate") << validTranslation << 400;
        QTest::newRow("not Ogg") << recognitionPath << QByteArray("RIFF....WAVE") << 400;
        QTest::newRow("no language")
            << QStringLiteral("/speech/recognition/conversation/cognitiveservices/v1?profanity=raw")
            << fakeRecording('x', 8) << 400;
        QTest::newRow("malformed SSML")
            << synthesisPath << QByteArray("<speak><voice name='a'>Tom & Jerry</voice></speak>") << 400;
        QTest::newRow("SSML without voice") << synthesisPath << QByteArray("<speak>hi</speak>") << 400;
    }
    void malformedRequestsGetAnErrorBody()
    {
        QFETCH(QString, path);
        QFETCH(QByteArray, body);
        QFETCH(int, status);
        const auto headers = path.startsWith(QLatin1String("/translate")) ? translatorHeaders()
                             : path.startsWith(QLatin1String("/speech"))  ? recognitionHeaders()
                                                                          : synthesisHeaders();
        const Result r = send(request(path, headers), body);
        QCOMPARE(r.status, status);
        QVERIFY2(hasErrorBody(r.body), r.body.constData());
    }

    void wrongContentTypesAreRefused()
    {
        auto headers = translatorHeaders();
        headers[1].second = "text/plain";
        QCOMPARE(send(request(translatePath, headers), validTranslation).status, 415);
        auto speech = recognitionHeaders();
        speech[1].second = "audio/wav";
        QCOMPARE(send(request(recognitionPath, speech), fakeRecording('x', 8)).status, 415);
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
        QCOMPARE(send(request(recognitionPath, recognitionHeaders()), fakeRecording('x', 8)).status, 200);
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
                                 : path == translatePath ? "[{\"Text\":\""
                                                         : "<speak>");
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
