// Offline synthesis with espeak-ng, through the application's cloud client
// and the local service: the packets, how long and how loud the speech is,
// the prosody rate, escaped text and unknown languages.
#include "catalogue.h"
#include "cloudfixture.h"
#include "espeaksynthesis.h"
#include "speechaudio.h"
#include "validation.h"

#include "clientstate.h"
#include "messenger.h"
#include "tts.h"

#include <QTest>

using namespace std::chrono_literals;
using namespace tolka::cloud;

namespace {

constexpr int replyWait = 60000;

// espeak-ng reads about 175 words a minute at the normal rate. Real speech
// of a sentence varies with word length and pauses; a factor of two either
// way still tells speech of the text from a clipped or repeated one, or
// one at the wrong rate (0.8 asked: 140 words a minute).
constexpr double wordsPerSecondAt(double rate)
{
    return 175.0 * rate / 60.0;
}

} // namespace

class OfflineSynthesisTest : public QObject
{
    Q_OBJECT
    CloudFixture fixture;
    MessageWindow window;
    SpeechSink sink;
    tts client;

private slots:
    void initTestCase()
    {
        QString error;
        QVERIFY2(fixture.start(&error), qPrintable(error));
        fixture.service().setSynthesisEngine(std::make_shared<EspeakSynthesis>());
        sink.connectToHub();
    }

    void init()
    {
        fixture.reset();
        sink.clear();
        window.messages.clear();
    }

    void prosodyRates_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<double>("factor");
        QTest::newRow("factor") << "0.80" << 0.8;
        QTest::newRow("relative up") << "+10%" << 1.1;
        QTest::newRow("relative down") << "-50%" << 0.5;
        QTest::newRow("share") << "80%" << 0.8;
        QTest::newRow("named") << "x-slow" << 0.5;
        QTest::newRow("medium") << "medium" << 1.0;
    }
    void prosodyRates()
    {
        QFETCH(QString, value);
        QFETCH(double, factor);
        const auto parsed = prosodyRate(value);
        QVERIFY(parsed.has_value());
        QVERIFY(qFuzzyCompare(*parsed, factor));
    }

    void badProsodyRatesAreIgnored()
    {
        for (const char *value : {"", "fastest", "-200%", "0", "abc%"})
            QVERIFY2(!prosodyRate(QString::fromLatin1(value)), value);
    }

    void speechOfTheTextInWholePackets_data()
    {
        QTest::addColumn<QByteArray>("language");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("words");
        QTest::newRow("English") << QByteArray("en-US")
                                 << QByteArray("The weather is nice today, let us go for a walk.") << 11;
        QTest::newRow("Spanish") << QByteArray("es-ES")
                                 << QByteArray("La casa es grande y mis amigos son felices.") << 8;
        QTest::newRow("French") << QByteArray("fr-FR")
                                << QByteArray("Je voudrais une tasse de café, s'il vous plaît.") << 9;
        QTest::newRow("German") << QByteArray("de-DE") << QByteArray("Das Wetter ist heute sehr schön.") << 6;
    }
    void speechOfTheTextInWholePackets()
    {
        QFETCH(QByteArray, language);
        QFETCH(QByteArray, text);
        QFETCH(int, words);
        client.setSpeechLanguage(language);
        // The first voice of the language, as the interface picks it.
        const QByteArrayList voices = tolka::catalogue::extractVoices(language)
                                          .value(QStringLiteral("tempNames"))
                                          .value<QByteArrayList>();
        QVERIFY(!voices.isEmpty());
        client.tvoice(text, voices.constFirst());
        QTRY_COMPARE_WITH_TIMEOUT(sink.received.size(), 1, replyWait);
        const QByteArray reply = sink.received.constFirst();
        QVERIFY(!reply.isEmpty());
        QCOMPARE(reply.size() % 60, 0);

        const std::vector<qint16> pcm = speechaudio::decode(reply);
        QCOMPARE(qsizetype(pcm.size()), reply.size() / 60 * 960); // 20 ms at 48 kHz per packet
        const double seconds = double(pcm.size()) / 48000.0;
        const double expected = words / wordsPerSecondAt(0.8); // the client asks for 0.80
        QVERIFY2(seconds > expected / 2 && seconds < expected * 2,
                 qPrintable(QStringLiteral("%1 s of speech for %2 s expected").arg(seconds).arg(expected)));
        // Not silent: loud enough over the whole utterance.
        QVERIFY2(speechaudio::rmsDbfs(pcm) > -35.0,
                 qPrintable(QStringLiteral("%1 dBFS").arg(speechaudio::rmsDbfs(pcm))));
    }

    void rateChangesTheDuration()
    {
        EspeakSynthesis synthesis;
        const QString text = QStringLiteral("One two three four five six seven eight nine ten.");
        const auto normal = synthesis.speak({text, QStringLiteral("en-US"), {}, 1.0});
        const auto slow = synthesis.speak({text, QStringLiteral("en-US"), {}, 0.5});
        QVERIFY(normal && slow);
        const double ratio = double(slow->size()) / double(normal->size());
        QVERIFY2(ratio > 1.5, qPrintable(QString::number(ratio)));
    }

    // Nested prosody elements multiply their rates, so a document can ask
    // for any factor: beyond the engine's range it is its fastest, not
    // whatever an overflowing conversion makes of it.
    void aRateBeyondTheEnginesRangeIsItsFastest()
    {
        EspeakSynthesis synthesis;
        const QString text = QStringLiteral("One two three four five six seven eight nine ten.");
        const auto fast = synthesis.speak({text, QStringLiteral("en-US"), {}, 2.0});
        const auto huge = synthesis.speak({text, QStringLiteral("en-US"), {}, 1e300});
        QVERIFY(fast && huge);
        QVERIFY2(huge->size() < fast->size(),
                 qPrintable(QStringLiteral("%1 bytes against %2").arg(huge->size()).arg(fast->size())));
    }

    // The client's speaking rate reaches espeak-ng through the document: the
    // same sentence at the slowest rate lasts well over twice as long as at
    // the fastest (three times, less the pauses that do not scale).
    void theClientsRateChangesTheLengthOfTheSpeech()
    {
        client.setSpeechLanguage("en-US");
        const QByteArray text = "One two three four five six seven eight nine ten.";
        QList<double> seconds;
        for (const double rate : {0.5, 1.5}) {
            client.setSpeakingRate(rate);
            client.tvoice(text, "en-US-JennyNeural");
            QTRY_COMPARE_WITH_TIMEOUT(sink.received.size(), seconds.size() + 1, replyWait);
            seconds.append(double(speechaudio::decode(sink.received.constLast()).size()) / 48000.0);
        }
        const QList<LoggedRequest> requests = fixture.service().log().entries();
        QCOMPARE(requests.size(), 2);
        QVERIFY(requests.at(0).body.contains("<prosody rate='0.50'>"));
        QVERIFY(requests.at(1).body.contains("<prosody rate='1.50'>"));
        QVERIFY2(seconds.at(0) > 2.0 * seconds.at(1),
                 qPrintable(QStringLiteral("%1 s slow, %2 s fast").arg(seconds.at(0)).arg(seconds.at(1))));
    }

    // The client escapes what XML would take as markup; the service reads
    // the characters back and speaks them.
    void escapedSpecialCharactersAreSpoken()
    {
        client.setSpeechLanguage("en-US");
        client.tvoice("Tom & Jerry's <best> \"show\"", "en-US-JennyNeural");
        QTRY_COMPARE_WITH_TIMEOUT(sink.received.size(), 1, replyWait);
        const QList<LoggedRequest> requests = fixture.service().log().entries();
        QCOMPARE(requests.size(), 1);
        QCOMPARE(requests.constFirst().status, 200);
        const std::vector<qint16> pcm = speechaudio::decode(sink.received.constFirst());
        QVERIFY(double(pcm.size()) / 48000.0 > 1.0); // five words, not an empty document
        QVERIFY(speechaudio::rmsDbfs(pcm) > -35.0);
    }

    void unknownLanguageIsRefused()
    {
        client.setSpeechLanguage("xx-XX");
        client.tvoice("Hello", "xx-XX-NobodyNeural");
        // A bad request: sent once, and the interface is told.
        QTRY_COMPARE_WITH_TIMEOUT(window.count(QStringLiteral("ERROR")), 1, replyWait);
        QCOMPARE(sink.received.size(), 0);
        const QList<LoggedRequest> requests = fixture.service().log().entries();
        QCOMPARE(requests.size(), 1);
        QCOMPARE(requests.constFirst().status, 400);
        const auto refused = EspeakSynthesis().synthesize(
            {QStringLiteral("Hello"), QStringLiteral("xx-XX"), {}, 1.0}, QDeadlineTimer(60s));
        QVERIFY(!refused);
        QCOMPARE(refused.error().status, 400);
        QVERIFY(refused.error().message.contains(QLatin1String("xx-XX")));
    }

    void emptyTextGivesNoAudio()
    {
        const auto packets =
            EspeakSynthesis().synthesize({QString(), QStringLiteral("en-US"), {}, 1.0}, QDeadlineTimer(60s));
        QVERIFY(packets.has_value());
        QCOMPARE(packets->size() % 60, 0);
    }
};

QTEST_MAIN(OfflineSynthesisTest)
#include "tst_offlinesynthesis.moc"
