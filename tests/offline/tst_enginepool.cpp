// The local service runs engine work off its network thread: a busy engine
// does not hold up other requests, engines work side by side, and a request
// whose engine overruns the time limit is answered 504.
#include "cloudfixture.h"

#include "cloudconfig.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSemaphore>
#include <QSslConfiguration>
#include <QTest>

#include <atomic>
#include <memory>

namespace config = tolka::cloud::config;
using namespace std::chrono_literals;

namespace {

// Holds every translation until released; counts how many are inside.
class GatedTranslation final : public TranslationEngine
{
public:
    EngineResult<QString> translate(const QString &text, const QString &, const QString &,
                                    QDeadlineTimer deadline) override
    {
        ++inside;
        ++entered;
        const bool released = gate.tryAcquire(1, deadline);
        --inside;
        if (!released)
            return std::unexpected(deadlinePassed());
        return text.toUpper();
    }
    QSemaphore gate;
    std::atomic<int> inside{0};
    std::atomic<int> entered{0};
};

const QByteArray translation = R"({"inputs":[{"text":"hi","language":"en","targets":[{"language":"es"}]}]})";

} // namespace

class EnginePoolTest : public QObject
{
    Q_OBJECT
    CloudFixture fixture;
    QNetworkAccessManager manager;
    QSslConfiguration tls;
    std::shared_ptr<GatedTranslation> engine = std::make_shared<GatedTranslation>();

    QNetworkReply *post(const QString &pathAndQuery, const QList<std::pair<QByteArray, QByteArray>> &headers,
                        const QByteArray &body)
    {
        QNetworkRequest r(QUrl(fixture.service().origin() + pathAndQuery));
        r.setSslConfiguration(tls);
        for (const auto &[name, value] : headers)
            r.setRawHeader(name, value);
        return manager.post(r, body);
    }
    QNetworkReply *translate()
    {
        return post(
            QStringLiteral("/translate?api-version=2026-06-06"),
            {{"Ocp-Apim-Subscription-Key", config::translatorKey}, {"Content-Type", "application/json"}},
            translation);
    }
    QNetworkReply *recognize()
    {
        return post(QStringLiteral("/speech/recognition/conversation/cognitiveservices/v1?language=en-US"),
                    {{"Ocp-Apim-Subscription-Key", config::speechKeyEastUs},
                     {"Content-Type", "audio/ogg; codecs=opus"}},
                    oggOpusRecording(1));
    }
    static int status(QNetworkReply *reply)
    {
        return reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    }

private slots:
    void initTestCase()
    {
        QString error;
        QVERIFY2(fixture.startService(&error), qPrintable(error));
        tls = QSslConfiguration::defaultConfiguration();
        QVERIFY(tls.addCaCertificates(fixture.caPath()));
        fixture.service().setTranslationEngine(engine);
    }

    void init()
    {
        fixture.reset();
        fixture.service().setTimeLimit(60s);
    }

    void aBusyEngineHoldsUpNoOtherRequest()
    {
        std::unique_ptr<QNetworkReply> held(translate());
        QTRY_COMPARE(engine->inside.load(), 1);
        std::unique_ptr<QNetworkReply> other(recognize());
        QTRY_VERIFY(other->isFinished());
        QCOMPARE(status(other.get()), 200);
        QVERIFY(!held->isFinished());
        QCOMPARE(fixture.service().pendingCount(), 1);

        engine->gate.release();
        QTRY_VERIFY(held->isFinished());
        QCOMPARE(status(held.get()), 200);
        QCOMPARE(QJsonDocument::fromJson(held->readAll())[QLatin1String("value")][0][QLatin1String(
                     "translations")][0][QLatin1String("text")]
                     .toString(),
                 QStringLiteral("HI"));
        QCOMPARE(fixture.service().pendingCount(), 0);
    }

    void enginesWorkSideBySide()
    {
        std::unique_ptr<QNetworkReply> first(translate());
        std::unique_ptr<QNetworkReply> second(translate());
        std::unique_ptr<QNetworkReply> third(translate());
        // All three inside the engine at once, none answered yet.
        QTRY_COMPARE(engine->inside.load(), 3);
        QCOMPARE(fixture.service().pendingCount(), 3);
        engine->gate.release(3);
        QTRY_VERIFY(first->isFinished() && second->isFinished() && third->isFinished());
        for (QNetworkReply *reply : {first.get(), second.get(), third.get()})
            QCOMPARE(status(reply), 200);
    }

    void overrunningTheTimeLimitGives504()
    {
        fixture.service().setTimeLimit(100ms);
        const int before = engine->entered.load();
        std::unique_ptr<QNetworkReply> late(translate());
        QTRY_VERIFY(late->isFinished());
        QCOMPARE(status(late.get()), 504);
        const QJsonObject error =
            QJsonDocument::fromJson(late->readAll()).object()[QLatin1String("error")].toObject();
        QCOMPARE(error[QLatin1String("code")].toInteger(), 504000);
        QVERIFY(!error[QLatin1String("message")].toString().isEmpty());
        QCOMPARE(engine->entered.load(), before + 1);
        // The engine gives up at the same deadline; nothing stays pending.
        QTRY_COMPARE(engine->inside.load(), 0);
        QCOMPARE(fixture.service().pendingCount(), 0);
        const QList<LoggedRequest> log = fixture.service().log().entries();
        QCOMPARE(log.size(), 1);
        QCOMPARE(log.constFirst().status, 504);
    }
};

QTEST_MAIN(EnginePoolTest)
#include "tst_enginepool.moc"
