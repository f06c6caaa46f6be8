// Offline translation with apertium, directly and through the application's
// cloud client against the local service.
#include "apertiumtranslation.h"
#include "cloudfixture.h"
#include "offlineengines.h"

#include "clientstate.h"
#include "tts.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QTest>

using namespace std::chrono_literals;
using namespace tolka::cloud;

namespace {
// The engine starts a pipeline of processes; a loaded machine may be slow.
constexpr int replyWait = 60000;
} // namespace

class OfflineTranslationTest : public QObject
{
    Q_OBJECT
    CloudFixture fixture;
    MessageWindow window;
    tts client;
    std::shared_ptr<ApertiumTranslation> engine = std::make_shared<ApertiumTranslation>();

private slots:
    void initTestCase()
    {
        QString error;
        QVERIFY2(fixture.start(&error), qPrintable(error));
        fixture.service().setTranslationEngine(engine);
        QVERIFY2(!engine->directions().isEmpty(), "no apertium pair installed");
    }

    void init()
    {
        fixture.reset();
        window.messages.clear();
    }

    void languagePartOfCodes_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("language");
        QTest::newRow("locale") << "en-US" << "en";
        QTest::newRow("script and region") << "sr-Latn-RS" << "sr";
        QTest::newRow("translator Chinese") << "zh-Hans" << "zh";
        QTest::newRow("three parts") << "zh-CN-henan" << "zh";
        QTest::newRow("language only") << "ES" << "es";
    }
    void languagePartOfCodes()
    {
        QFETCH(QString, code);
        QFETCH(QString, language);
        QCOMPARE(ApertiumTranslation::languageOf(code), language);
    }

    void routesAreDirectOrThroughOnePivot()
    {
        const QList<ApertiumTranslation::Direction> toSpanish =
            engine->route(QStringLiteral("en-US"), QStringLiteral("es-ES"));
        QCOMPARE(toSpanish.size(), 1);
        QCOMPARE(toSpanish.constFirst().mode, QStringLiteral("eng-spa"));
        // No English-French pair: through Spanish.
        const auto toFrench = engine->route(QStringLiteral("en-US"), QStringLiteral("fr-FR"));
        QCOMPARE(toFrench.size(), 2);
        QCOMPARE(toFrench.at(0).to, QStringLiteral("es"));
        QCOMPARE(toFrench.at(1).to, QStringLiteral("fr"));
        // The Serbo-Croatian standard follows the locale.
        const auto toCroatian = engine->route(QStringLiteral("en-GB"), QStringLiteral("hr-HR"));
        QCOMPARE(toCroatian.size(), 1);
        QCOMPARE(toCroatian.constFirst().mode, QStringLiteral("eng-hbs_HR"));
        const auto toSerbian = engine->route(QStringLiteral("en-GB"), QStringLiteral("sr-Latn-RS"));
        QCOMPARE(toSerbian.size(), 1);
        QCOMPARE(toSerbian.constFirst().mode, QStringLiteral("eng-hbs_SR"));
        QVERIFY(engine->route(QStringLiteral("en-US"), QStringLiteral("ja-JP")).isEmpty());
    }

    void engineTranslatesEnglishToSpanish()
    {
        // The second and third go through pipelines started ahead by the one before.
        for (const QString &text : {QStringLiteral("The house is big."), QStringLiteral("The house is big."),
                                    QStringLiteral("The dog.")}) {
            const auto translated = engine->translate(text, QStringLiteral("en-US"), QStringLiteral("es-ES"),
                                                      QDeadlineTimer(60s));
            QVERIFY2(translated.has_value(), qPrintable(translated ? QString() : translated.error().message));
            QCOMPARE(*translated, text == QLatin1String("The dog.") ? QStringLiteral("El perro.")
                                                                    : QStringLiteral("La casa es grande."));
        }
    }

    void sameLanguageIsReturnedUnchanged()
    {
        const auto text = engine->translate(QStringLiteral("Colour"), QStringLiteral("en-GB"),
                                            QStringLiteral("en-US"), QDeadlineTimer(60s));
        QCOMPARE(text.value_or(QString()), QStringLiteral("Colour"));
    }

    void theReportSaysWhatTheEnginesDo()
    {
        const QJsonObject report = QJsonDocument::fromJson(offlineengines::capabilities(*engine)).object();
        const QJsonArray recognition = report.value(QLatin1String("recognition")).toArray();
        QVERIFY(recognition.contains(QJsonValue(QStringLiteral("en-US"))));
        QVERIFY(recognition.contains(QJsonValue(QStringLiteral("en-GB"))));
        QVERIFY(!recognition.contains(QJsonValue(QStringLiteral("fr-FR"))));
        QCOMPARE(report.value(QLatin1String("synthesis")).toArray().size(), 148);
        const QJsonArray translation = report.value(QLatin1String("translation")).toArray();
        QVERIFY(translation.contains(QJsonArray{QStringLiteral("en"), QStringLiteral("es")}));
        QVERIFY(translation.contains(QJsonArray{QStringLiteral("en"), QStringLiteral("fr")})); // via Spanish
        QVERIFY(!translation.contains(QJsonArray{QStringLiteral("en"), QStringLiteral("ja")}));
    }

    void clientGetsTheSpanishTranslation()
    {
        client.setFastTranscribe("en-US");
        client.setSpeechLanguage("es-ES");
        client.ttrad("My friends are happy.");
        QTRY_COMPARE_WITH_TIMEOUT(window.count(QStringLiteral("TRAD")), 1, replyWait);
        QCOMPARE(window.last(QStringLiteral("TRAD")).value<QJsonValue>(),
                 QJsonValue(QStringLiteral("Mis amigos son felices.")));
        const QList<LoggedRequest> requests = fixture.service().log().entries();
        QCOMPARE(requests.size(), 1);
        QCOMPARE(requests.constFirst().status, 200);
    }

    void chainedPairThroughSpanish()
    {
        client.setFastTranscribe("en-US");
        client.setSpeechLanguage("fr-FR");
        client.ttrad("The house is big.");
        QTRY_COMPARE_WITH_TIMEOUT(window.count(QStringLiteral("TRAD")), 1, replyWait);
        QCOMPARE(window.last(QStringLiteral("TRAD")).value<QJsonValue>(),
                 QJsonValue(QStringLiteral("La maison est grande.")));
    }

    void unsupportedPairIsRefusedWithTheErrorShape()
    {
        const auto refused = engine->translate(QStringLiteral("Hello"), QStringLiteral("en-US"),
                                               QStringLiteral("ja-JP"), QDeadlineTimer(60s));
        QVERIFY(!refused.has_value());
        QCOMPARE(refused.error().status, 400);
        QCOMPARE(refused.error().code, QStringLiteral("400036"));
        const auto unknownSource = engine->translate(QStringLiteral("Hello"), QStringLiteral("ja-JP"),
                                                     QStringLiteral("en-US"), QDeadlineTimer(60s));
        QVERIFY(!unknownSource.has_value());
        QCOMPARE(unknownSource.error().code, QStringLiteral("400035"));
    }

    // The refusal is a bad request for the client: sent once, not again,
    // and the interface is told which language the service lacks.
    void unsupportedPairIsNotResent()
    {
        client.setFastTranscribe("en-US");
        client.setSpeechLanguage("ja-JP");
        client.ttrad("Hello");
        QTRY_COMPARE_WITH_TIMEOUT(window.count(QStringLiteral("ERROR")), 1, replyWait);
        const QVariantMap error = window.last(QStringLiteral("ERROR")).toMap();
        QCOMPARE(error.value(QStringLiteral("failure")).toString(), QStringLiteral("badRequest"));
        QCOMPARE(error.value(QStringLiteral("code")).toString(), QStringLiteral("400036"));
        QCOMPARE(window.count(QStringLiteral("TRAD")), 0);
        QCOMPARE(window.count(QStringLiteral("WARNING")), 0);
        const QList<LoggedRequest> sends = fixture.service().log().entries();
        QCOMPARE(sends.size(), 1);
        QCOMPARE(sends.constFirst().status, 400);
        QCOMPARE(clientState().failureCount, 0);

        // The next translation of a supported pair goes through.
        client.setSpeechLanguage("es-ES");
        client.ttrad("The house is big.");
        QTRY_COMPARE_WITH_TIMEOUT(window.count(QStringLiteral("TRAD")), 1, replyWait);
        QCOMPARE(window.last(QStringLiteral("TRAD")).value<QJsonValue>(),
                 QJsonValue(QStringLiteral("La casa es grande.")));
    }
};

QTEST_MAIN(OfflineTranslationTest)
#include "tst_offlinetranslation.moc"
