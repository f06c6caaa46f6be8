// Region choice, the four endpoint URLs and the development override.
#include "cloudconfig.h"
#include "endpoints.h"
#include "frame.h"
#include "keys.h"

#include <QRegularExpression>
#include <QSslConfiguration>
#include <QTemporaryFile>
#include <QTest>

using namespace Qt::StringLiterals;

using namespace tolka::cloud;

class EndpointsTest : public QObject
{
    Q_OBJECT
private slots:
    void regionByStandardOffset_data()
    {
        QTest::addColumn<int>("offset");
        QTest::addColumn<bool>("westEurope");
        QTest::newRow("UTC-2") << -7200 << true;
        QTest::newRow("UTC+6") << 21600 << true;
        QTest::newRow("just below UTC-2") << -7201 << false;
        QTest::newRow("just above UTC+6") << 21601 << false;
        QTest::newRow("UTC-5") << -18000 << false;
        QTest::newRow("UTC+9") << 32400 << false;
        QTest::newRow("UTC+1") << 3600 << true;
        QTest::newRow("UTC") << 0 << true;
        QTest::newRow("UTC-12") << -43200 << false;
        QTest::newRow("UTC+14") << 50400 << false;
    }
    void regionByStandardOffset()
    {
        QFETCH(int, offset);
        QFETCH(bool, westEurope);
        QCOMPARE(isWestEuropeOffset(offset), westEurope);
    }

    void regionalHostsCarryTheRegionPrefix_data()
    {
        QTest::addColumn<bool>("westEurope");
        QTest::addColumn<QString>("prefix");
        QTest::newRow("westeurope") << true << QStringLiteral("westeurope.");
        QTest::newRow("eastus") << false << QStringLiteral("eastus.");
    }
    void regionalHostsCarryTheRegionPrefix()
    {
        QFETCH(bool, westEurope);
        QFETCH(QString, prefix);
        const Endpoints e =
            buildEndpoints(westEurope ? QStringLiteral("westeurope") : QStringLiteral("eastus"));
        QCOMPARE(e.translate.toString(),
                 QStringLiteral("https://") + QLatin1StringView(config::translatorHost) + u"/translate"_s);
        QCOMPARE(e.synthesis.toString(), QStringLiteral("https://") + prefix +
                                             QLatin1StringView(config::synthesisHostSuffix) +
                                             u"/cognitiveservices/v1"_s);
        QCOMPARE(e.recognition.toString(), QStringLiteral("https://") + prefix +
                                               QLatin1StringView(config::recognitionHostSuffix) +
                                               u"/speech/recognition/conversation/cognitiveservices/v1"_s);
        QCOMPARE(e.transcription.toString(), QStringLiteral("https://") + prefix +
                                                 QLatin1StringView(config::regionalApiHostSuffix) +
                                                 u"/speechtotext/transcriptions:transcribe"_s);
        // The translator is global: never a region in its host.
        QVERIFY(!e.translate.host().startsWith(QLatin1String("westeurope.")));
        QVERIFY(!e.translate.host().startsWith(QLatin1String("eastus.")));
    }

    void defaultHostsAreThePublicOnes()
    {
        // Only meaningful for a build without host overrides, which CI is.
        QCOMPARE(QByteArray(config::translatorHost), QByteArray("api.cognitive.microsofttranslator.com"));
        const Endpoints e = buildEndpoints(QStringLiteral("westeurope"));
        QCOMPARE(e.synthesis.host(), QStringLiteral("westeurope.tts.speech.microsoft.com"));
        QCOMPARE(e.recognition.host(), QStringLiteral("westeurope.stt.speech.microsoft.com"));
        QCOMPARE(e.transcription.host(), QStringLiteral("westeurope.api.cognitive.microsoft.com"));
    }

    void originOverrideKeepsPaths()
    {
        const Endpoints e =
            buildEndpoints(QStringLiteral("eastus"), QUrl(QStringLiteral("https://127.0.0.1:8443")));
        QCOMPARE(e.translate.toString(), QStringLiteral("https://127.0.0.1:8443/translate"));
        QCOMPARE(e.synthesis.toString(), QStringLiteral("https://127.0.0.1:8443/cognitiveservices/v1"));
        QCOMPARE(
            e.recognition.toString(),
            QStringLiteral("https://127.0.0.1:8443/speech/recognition/conversation/cognitiveservices/v1"));
        QCOMPARE(e.transcription.toString(),
                 QStringLiteral("https://127.0.0.1:8443/speechtotext/transcriptions:transcribe"));
    }

    void originOverrideFromTheEnvironment_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("unset") << QByteArray() << false;
        QTest::newRow("https with port") << QByteArray("https://localhost:9443") << true;
        QTest::newRow("https without port") << QByteArray("https://example.test") << true;
        QTest::newRow("plain http is refused") << QByteArray("http://localhost:9080") << false;
        QTest::newRow("a path is refused") << QByteArray("https://localhost:9443/api") << false;
        QTest::newRow("no host") << QByteArray("https://") << false;
        QTest::newRow("garbage") << QByteArray("::not a url::") << false;
    }
    void originOverrideFromTheEnvironment()
    {
        QFETCH(QByteArray, value);
        QFETCH(bool, accepted);
        if (value.isEmpty())
            qunsetenv("TOLKA_CLOUD_ORIGIN");
        else
            qputenv("TOLKA_CLOUD_ORIGIN", value);
        const std::optional<QUrl> origin = developmentOrigin();
        QCOMPARE(origin.has_value(), accepted);
        if (accepted)
            QCOMPARE(origin->toString(), QString::fromUtf8(value));
        qunsetenv("TOLKA_CLOUD_ORIGIN");
    }

    void keysHaveTheirForm()
    {
        const QRegularExpression hex32(QStringLiteral("^[0-9a-f]{32}$"));
        const QRegularExpression alnum84(QStringLiteral("^[0-9A-Za-z]{84}$"));
        for (bool west : {true, false}) {
            for (bool backup : {true, false})
                QVERIFY(hex32.match(QString::fromLatin1(buildSpeechKey(west, backup))).hasMatch());
        }
        QVERIFY(hex32.match(QString::fromLatin1(buildTranslatorKey(false))).hasMatch());
        QVERIFY(alnum84.match(QString::fromLatin1(buildTranslatorKey(true))).hasMatch());
        const QByteArrayList keys = buildKeys();
        QCOMPARE(QSet<QByteArray>(keys.cbegin(), keys.cend()).size(), 6);
    }

    void extraCaFileMustHoldCertificates()
    {
        const qsizetype before = QSslConfiguration::defaultConfiguration().caCertificates().size();
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression(QStringLiteral("extra CA file cannot be read")));
        QVERIFY(!trustExtraCaFile(QStringLiteral("/nonexistent/ca.pem")));
        QTemporaryFile notPem;
        QVERIFY(notPem.open());
        notPem.write("-----BEGIN NOTHING-----\n");
        notPem.close();
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("holds no PEM certificate")));
        QVERIFY(!trustExtraCaFile(notPem.fileName()));
        QCOMPARE(QSslConfiguration::defaultConfiguration().caCertificates().size(), before);
    }

    void keysAreRedacted()
    {
        const QByteArray text =
            "echo " + buildSpeechKey(true, false) + " and " + buildTranslatorKey(true) + ".";
        const QByteArray redacted = redactKeys(text);
        QCOMPARE(redacted, QByteArray("echo <key> and <key>."));
    }
};

QTEST_GUILESS_MAIN(EndpointsTest)
#include "tst_endpoints.moc"
