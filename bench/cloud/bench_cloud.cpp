// Run by hand: build/default/bench/bench_cloud
// The round-trip figures are printed as ratios measured side by side in one
// run, so they compare like with like on whatever machine runs them.
#include "cloudfixture.h"

#include "clientstate.h"
#include "frame.h"
#include "keys.h"
#include "synthesis.h"
#include "translation.h"
#include "tts.h"

#include <QElapsedTimer>
#include <QNetworkReply>
#include <QTest>

#include <algorithm>
#include <vector>

using namespace tolka::cloud;

namespace {

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

} // namespace

class CloudBench : public QObject
{
    Q_OBJECT
    CloudFixture fixture;
    MessageWindow window;
    tts client;
    const QByteArray text = QByteArray("Bonjour, \"tout le monde\" !\n").repeated(4);

    // One bare POST of the same body and headers the client would send.
    double barePost(QNetworkAccessManager &manager, const QNetworkRequest &request, const QByteArray &body)
    {
        QElapsedTimer timer;
        timer.start();
        std::unique_ptr<QNetworkReply> reply(manager.post(request, body));
        if (!QTest::qWaitFor([&] { return reply->isFinished(); }, 10000) ||
            reply->error() != QNetworkReply::NoError)
            qWarning("bare POST failed: %s", qPrintable(reply->errorString()));
        reply->readAll();
        return double(timer.nsecsElapsed()) / 1e6;
    }

    double clientTranslation()
    {
        const qsizetype before = window.count(QStringLiteral("TRAD"));
        QElapsedTimer timer;
        timer.start();
        client.ttrad(text);
        if (!QTest::qWaitFor([&] { return window.count(QStringLiteral("TRAD")) > before; }, 10000))
            qWarning("translation got no reply");
        return double(timer.nsecsElapsed()) / 1e6;
    }

private slots:
    void initTestCase()
    {
        QString error;
        QVERIFY2(fixture.start(&error), qPrintable(error));
        fixture.service().log().setEcho(false);
        client.setFastTranscribe("fr-FR");
        client.setSpeechLanguage("en-US");
    }

    void buildTranslationBody()
    {
        QByteArray body;
        QBENCHMARK
        {
            body = translationBody(text, toTranslatorCode("zh-HK"), toTranslatorCode("en-US"));
        }
        QVERIFY(!body.isEmpty());
    }

    void buildSsmlDocument()
    {
        QByteArray document;
        QBENCHMARK
        {
            document = ssmlDocument("fr-FR", "fr-FR-DeniseNeural", text);
        }
        QVERIFY(!document.isEmpty());
    }

    void applyHeadersToTheTemplate()
    {
        QNetworkRequest &request = clientState().translateRequest;
        QBENCHMARK
        {
            request.setUrl(clientState().translateUrl);
            applyHeaders(request, 200, translatorKey(false));
        }
        QCOMPARE(request.headers().values("Ocp-Apim-Subscription-Key").size(), 1);
    }

    void clientOverheadAgainstABarePost()
    {
        // The bare manager sends exactly what the client sends, on its own
        // (warmed) HTTP/2 connection to the same service.
        QNetworkAccessManager bare;
        QNetworkRequest request = clientState().translateRequest;
        request.setUrl(clientState().translateUrl);
        const QByteArray body = translationBody(text, "fr", "en");
        applyHeaders(request, body.size(), translatorKey(false));
        barePost(bare, request, body);
        clientTranslation();

        constexpr int rounds = 10;
        constexpr int perRound = 20;
        std::vector<double> bareTimes;
        std::vector<double> clientTimes;
        for (int round = 0; round < rounds; ++round) {
            for (int i = 0; i < perRound; ++i)
                bareTimes.push_back(barePost(bare, request, body));
            for (int i = 0; i < perRound; ++i)
                clientTimes.push_back(clientTranslation());
        }
        const double bareMedian = median(bareTimes);
        const double clientMedian = median(clientTimes);
        qInfo(
            "round trip, %d each, interleaved: bare POST median %.3f ms, client ttrad->TRAD median %.3f ms, "
            "ratio client/bare %.2f",
            rounds * perRound, bareMedian, clientMedian, clientMedian / bareMedian);
    }

    void firstReplyWithAndWithoutPreconnection()
    {
        const QUrl url = clientState().translateUrl;
        QNetworkRequest request = clientState().translateRequest;
        request.setUrl(url);
        const QByteArray body = translationBody("x", "fr", "en");
        applyHeaders(request, body.size(), translatorKey(false));

        constexpr int samples = 15;
        std::vector<double> cold;
        std::vector<double> warm;
        for (int i = 0; i < samples; ++i) {
            {
                QNetworkAccessManager manager;
                QTest::qWait(100); // the same idle time as the pre-connected case
                cold.push_back(barePost(manager, request, body));
            }
            {
                QNetworkAccessManager manager;
                manager.connectToHostEncrypted(url.host(), quint16(url.port(443)),
                                               QSslConfiguration::defaultConfiguration());
                QTest::qWait(100); // the user is not faster than this after start-up
                warm.push_back(barePost(manager, request, body));
            }
        }
        const double coldMedian = median(cold);
        const double warmMedian = median(warm);
        qInfo("first reply, %d fresh managers each: without pre-connection median %.3f ms, with %.3f ms, "
              "ratio without/with %.2f",
              samples, coldMedian, warmMedian, coldMedian / warmMedian);
    }
};

QTEST_MAIN(CloudBench)
#include "bench_cloud.moc"
