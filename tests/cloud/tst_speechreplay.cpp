// Speech spoken again from the cache of replies, through the real client and
// the local service over TLS: what a synthesis leaves in the cache (whole
// replies or the pieces joined, as TOLKA_SYNTHESIS_WHOLE_REPLY says), what
// it never leaves, and a replay that hands the reply to the hub whole and
// sends nothing.
#include "cloudfixture.h"

#include "clientstate.h"
#include "speechcache.h"
#include "synthesis.h"
#include "tts.h"

#include <QFile>
#include <QRegularExpression>
#include <QTest>

using namespace std::chrono_literals;
using namespace tolka::cloud;

namespace {

constexpr QByteArrayView voice = "fr-FR-DeniseNeural";
constexpr QByteArrayView language = "fr-FR";

} // namespace

class SpeechReplayTest : public QObject
{
    Q_OBJECT
    CloudFixture fixture;
    MessageWindow window;
    SpeechSink sink;
    tts client;
    std::shared_ptr<LongToneSynthesis> engine = std::make_shared<LongToneSynthesis>(1000);

    [[nodiscard]] qsizetype requests() { return fixture.service().log().entries().size(); }
    [[nodiscard]] SpeechCache &cache() { return *clientState().speechCache; }

    // Speaks text through the service and waits for all of its audio.
    void speak(const QByteArray &text)
    {
        const qsizetype before = sink.received.size();
        client.tvoice(text, voice.toByteArray());
        QTRY_COMPARE(sink.received.size(), before + 1);
    }

private slots:
    void initTestCase()
    {
        QString error;
        QVERIFY2(fixture.start(&error), qPrintable(error));
        sink.connectToHub();
    }

    void init()
    {
        fixture.reset();
        fixture.service().setSynthesisEngine(engine);
        // Five pieces 20 ms apart: streamed replies come in several reads.
        fixture.service().setSynthesisPace(20ms);
        sink.clear();
        window.messages.clear();
        client.setSpeechLanguage(language.toByteArray());
    }

    void aReplayIsTheFirstReplyAndSendsNothing()
    {
        speak("Bonjour");
        const QByteArray first = sink.received.constFirst();
        QCOMPARE(first, engine->audio());
        if (!wholeReplies())
            QVERIFY2(sink.pieceCounts.constFirst() > 1, "the reply came in one piece; nothing was joined");
        QCOMPARE(cache().count(), 1);
        const qsizetype sent = requests();
        const int wholeBefore = sink.wholeReplies;

        QVERIFY(client.replay("Bonjour", voice.toByteArray(), language.toByteArray()));
        // Handed on at once, as a whole reply, whatever the reply mode.
        QCOMPARE(sink.received.size(), 2);
        QCOMPARE(sink.received.at(1), first);
        QCOMPARE(sink.wholeReplies, wholeBefore + 1);
        QTest::qWait(200);
        QCOMPARE(requests(), sent);
        QVERIFY(window.messages.isEmpty());

        // A synthesis still asks the service, cache or not.
        speak("Bonjour");
        QCOMPARE(requests(), sent + 1);
    }

    void anotherVoiceRateOrLanguageMisses_data()
    {
        QTest::addColumn<QByteArray>("otherVoice");
        QTest::addColumn<QByteArray>("otherLanguage");
        QTest::addColumn<double>("rate");
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("voice") << QByteArray("fr-FR-HenriNeural") << language.toByteArray()
                               << defaultSpeakingRate << QByteArray("Bonjour");
        QTest::newRow("language") << voice.toByteArray() << QByteArray("fr-CA") << defaultSpeakingRate
                                  << QByteArray("Bonjour");
        QTest::newRow("rate") << voice.toByteArray() << language.toByteArray() << 1.25
                              << QByteArray("Bonjour");
        QTest::newRow("text") << voice.toByteArray() << language.toByteArray() << defaultSpeakingRate
                              << QByteArray("Bonjour!");
    }
    void anotherVoiceRateOrLanguageMisses()
    {
        QFETCH(QByteArray, otherVoice);
        QFETCH(QByteArray, otherLanguage);
        QFETCH(double, rate);
        QFETCH(QByteArray, text);
        speak("Bonjour");
        const qsizetype sent = requests();
        client.setSpeakingRate(rate);
        QVERIFY(!client.replay(text, otherVoice, otherLanguage));
        QCOMPARE(sink.received.size(), 1);
        QTest::qWait(200);
        QCOMPARE(requests(), sent);
        QCOMPARE(sink.received.size(), 1);
        // The cached reply is still there for its own key.
        client.setSpeakingRate(defaultSpeakingRate);
        QVERIFY(client.replay("Bonjour", voice.toByteArray(), language.toByteArray()));
    }

    void aRefusedSynthesisLeavesNothing()
    {
        client.tvoice("Bonjour", "fr-FR-NobodyNeural");
        QTRY_COMPARE(window.count(QStringLiteral("ERROR")), 1);
        QCOMPARE(cache().count(), 0);
        QVERIFY(!client.replay("Bonjour", "fr-FR-NobodyNeural", language.toByteArray()));
        QVERIFY(sink.received.isEmpty());
    }

    // Streamed, the part handed on before the break stays unfinished and is
    // never cached; whole, the reply is resent and only the complete one is.
    void aBrokenReplyIsNeverCached()
    {
        fixture.service().script().push(Operation::Synthesis, ScriptedReply::droppedAfterPieces(2));
        client.tvoice("Bonjour", voice.toByteArray());
        QTRY_COMPARE(sink.received.size(), 1);
        if (wholeReplies()) {
            QCOMPARE(requests(), 2);
            QVERIFY(client.replay("Bonjour", voice.toByteArray(), language.toByteArray()));
            QCOMPARE(sink.received.at(1), engine->audio());
            return;
        }
        QCOMPARE(sink.received.constFirst(), engine->audio().left(2 * CloudService::synthesisPieceBytes));
        QCOMPARE(window.count(QStringLiteral("ERROR")), 1);
        QCOMPARE(cache().count(), 0);
        QVERIFY(!client.replay("Bonjour", voice.toByteArray(), language.toByteArray()));
        QCOMPARE(sink.received.size(), 1);
    }

    void aReplyWithALeftoverByteIsNotCached()
    {
        QByteArray odd = engine->audio();
        odd.append('x');
        fixture.service().script().push(Operation::Synthesis, ScriptedReply::withBody(200, odd));
        client.tvoice("Bonjour", voice.toByteArray());
        QTRY_COMPARE(sink.received.size(), 1);
        QCOMPARE(cache().count(), 0);
    }

    // A reply that arrives after a newer synthesis was asked for has been
    // replaced at the speaker; the newer one is cached, it is not.
    void aReplacedReplyIsNotCached()
    {
        fixture.service().script().push(Operation::Synthesis, ScriptedReply::heldWithStatus(200));
        client.tvoice("Premier", voice.toByteArray());
        QTRY_COMPARE(fixture.service().heldCount(), 1);
        speak("Second");
        fixture.service().releaseHeld();
        QTRY_COMPARE(sink.received.size(), 2);
        QVERIFY(cache().contains(
            {language.toByteArray(), voice.toByteArray(), "0.80", "Second", speechService()}));
        QVERIFY(!cache().contains(
            {language.toByteArray(), voice.toByteArray(), "0.80", "Premier", speechService()}));
        QCOMPARE(cache().count(), 1);
    }

    void aCorruptCachedReplyIsAMiss()
    {
        speak("Bonjour");
        const SpeechKey key{language.toByteArray(), voice.toByteArray(), "0.80", "Bonjour", speechService()};
        QFile file(cache().pathOf(key));
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.resize(file.size() - 7));
        file.close();
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("is corrupt.*dropped")));
        QVERIFY(!client.replay("Bonjour", voice.toByteArray(), language.toByteArray()));
        QCOMPARE(sink.received.size(), 1);
        QVERIFY(!cache().contains(key));
        // The next synthesis fills it again.
        speak("Bonjour");
        QVERIFY(client.replay("Bonjour", voice.toByteArray(), language.toByteArray()));
        QCOMPARE(sink.received.at(2), engine->audio());
    }
};

QTEST_MAIN(SpeechReplayTest)
#include "tst_speechreplay.moc"
