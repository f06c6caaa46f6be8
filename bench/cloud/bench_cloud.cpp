// Run by hand: build/default/bench/bench_cloud
// The round-trip figures are printed as ratios measured side by side in one
// run, so they compare like with like on whatever machine runs them.
#include "cloudfixture.h"
#include "eventwait.h"
#include "speedpath.h"

#include "clientstate.h"
#include "frame.h"
#include "keys.h"
#include "quickconnections.h"
#include "synthesis.h"
#include "translation.h"
#include "tts.h"

#include <QElapsedTimer>
#include <QNetworkReply>
#include <QSslSocket>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <iterator>
#include <vector>

using namespace tolka::cloud;

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
        if (!runUntil([&] { return reply->isFinished(); }, 10000) || reply->error() != QNetworkReply::NoError)
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
        if (!runUntil([&] { return window.count(QStringLiteral("TRAD")) > before; }, 10000))
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
        const double bareMedian = speedpath::median(bareTimes);
        const double clientMedian = speedpath::median(clientTimes);
        qInfo(
            "round trip, %d each, interleaved: bare POST median %.3f ms, client ttrad->TRAD median %.3f ms, "
            "ratio client/bare %.2f",
            rounds * perRound, bareMedian, clientMedian, clientMedian / bareMedian);
    }

    // How long a translation takes from the call to its arrival at the
    // service (the moment the service has the whole request), through the
    // client with Nagle's algorithm on and off, and by the fastest way there
    // is: the same request in one write on a TCP_NODELAY socket.
    void requestArrivalWithAndWithoutNagle()
    {
        const auto arrival = [this](auto send) {
            const qsizetype before = fixture.service().log().entries().size();
            const auto start = std::chrono::steady_clock::now();
            send();
            if (!runUntil([&] { return fixture.service().log().entries().size() > before; }, 10000)) {
                qWarning("the request did not arrive");
                return 0.0;
            }
            const auto received = fixture.service().log().entries().constLast().received;
            if (!runUntil([&] { return !fixture.service().pendingCount(); }, 10000))
                qWarning("the request was not answered");
            return std::chrono::duration<double, std::milli>(received - start).count();
        };
        const auto throughClient = [&](bool lowDelay) {
            // Fresh connections, so that the setting applies to them.
            setLowDelayEnabled(lowDelay);
            clientState().networkManager->clearConnectionCache();
            clientTranslation();
            std::vector<double> times;
            for (int i = 0; i < 10; ++i)
                times.push_back(arrival([&] {
                    const qsizetype before = window.count(QStringLiteral("TRAD"));
                    client.ttrad(text);
                    if (!runUntil([&] { return window.count(QStringLiteral("TRAD")) > before; }, 10000))
                        qWarning("translation got no reply");
                }));
            return times;
        };

        QSslSocket bare;
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.setAllowedNextProtocols({QSslConfiguration::NextProtocolHttp1_1});
        bare.setSslConfiguration(tls);
        const QUrl url = clientState().translateUrl;
        bare.connectToHostEncrypted(url.host(), quint16(url.port(443)));
        QVERIFY(runUntil([&] { return bare.isEncrypted(); }, 5000)); // the service runs on this thread
        bare.setSocketOption(QAbstractSocket::LowDelayOption, 1);
        QNetworkRequest request = clientState().translateRequest;
        request.setUrl(url);
        const QByteArray body = translationBody(text, "fr", "en");
        applyHeaders(request, body.size(), translatorKey(false));
        QByteArray wire = "POST " + url.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority) +
                          " HTTP/1.1\r\nHost: " + url.host().toUtf8() + "\r\n";
        const QHttpHeaders headers = request.headers();
        for (qsizetype i = 0; i < headers.size(); ++i)
            wire += QByteArray(headers.nameAt(i).data(), headers.nameAt(i).size()) + ": " +
                    headers.valueAt(i).toByteArray() + "\r\n";
        wire += "\r\n" + body;
        const auto oneWrite = [&] {
            std::vector<double> times;
            for (int i = 0; i < 10; ++i)
                times.push_back(arrival([&] {
                    bare.write(wire);
                    bare.flush();
                }));
            QTest::qWait(50);
            bare.readAll();
            return times;
        };

        std::vector<double> nagle;
        std::vector<double> noDelay;
        std::vector<double> floor;
        for (int round = 0; round < 5; ++round) {
            std::ranges::copy(throughClient(false), std::back_inserter(nagle));
            std::ranges::copy(throughClient(true), std::back_inserter(noDelay));
            std::ranges::copy(oneWrite(), std::back_inserter(floor));
        }
        setLowDelayEnabled(true);
        const double a = speedpath::median(nagle);
        const double b = speedpath::median(noDelay);
        const double c = speedpath::median(floor);
        qInfo("call to arrival at the service, %zu each, interleaved: client with Nagle median %.3f ms, "
              "client with TCP_NODELAY %.3f ms, one write on a bare TCP_NODELAY socket %.3f ms; "
              "ratio Nagle/TCP_NODELAY %.1f, client/bare %.2f",
              nagle.size(), a, b, c, a / b, b / c);
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
        const double coldMedian = speedpath::median(cold);
        const double warmMedian = speedpath::median(warm);
        qInfo("first reply, %d fresh managers each: without pre-connection median %.3f ms, with %.3f ms, "
              "ratio without/with %.2f",
              samples, coldMedian, warmMedian, coldMedian / warmMedian);
    }
};

QTEST_MAIN(CloudBench)
#include "bench_cloud.moc"
