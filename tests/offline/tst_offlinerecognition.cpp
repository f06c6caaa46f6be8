// Offline recognition with pocketsphinx: English sentences spoken by
// espeak-ng are recognised with a bounded word error rate; silence and
// other languages give "NoMatch".
#include "cloudfixture.h"
#include "pocketsphinxrecognition.h"
#include "speechaudio.h"

#include <QTest>

#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;

using namespace std::chrono_literals;

namespace {

const QStringList sentences{
    QStringLiteral("Where is the train station?"),
    QStringLiteral("Can you help me please?"),
    QStringLiteral("The museum opens at nine."),
};

// Word error rate allowed over the three sentences (measured: see the
// log line of the test).
constexpr double maxWordErrorRate = 0.35;

} // namespace

class OfflineRecognitionTest : public QObject
{
    Q_OBJECT
    std::shared_ptr<PocketsphinxRecognition> engine = std::make_shared<PocketsphinxRecognition>();

private slots:
    void displayTextHasTheServicesForm_data()
    {
        QTest::addColumn<QString>("words");
        QTest::addColumn<QString>("display");
        QTest::newRow("sentence") << "the weather is nice today" << "The weather is nice today.";
        QTest::newRow("pronoun") << "i think i can" << "I think I can.";
        QTest::newRow("contraction") << "i'm here" << "I'm here.";
        QTest::newRow("punctuation kept") << "really?" << "Really?";
        QTest::newRow("spaces") << "  hello   there " << "Hello there.";
        QTest::newRow("nothing") << "" << "";
    }
    void displayTextHasTheServicesForm()
    {
        QFETCH(QString, words);
        QFETCH(QString, display);
        QCOMPARE(PocketsphinxRecognition::displayText(words), display);
    }

    void englishLocalesOnly()
    {
        QVERIFY(PocketsphinxRecognition::coversLanguage(QStringLiteral("en-US")));
        QVERIFY(PocketsphinxRecognition::coversLanguage(QStringLiteral("en-GB")));
        QVERIFY(!PocketsphinxRecognition::coversLanguage(QStringLiteral("fr-FR")));
        QVERIFY(!PocketsphinxRecognition::coversLanguage(QStringLiteral("eng")));
    }

    void wordErrorsCount()
    {
        using speechaudio::wordErrors;
        using speechaudio::words;
        QCOMPARE(wordErrors(words(QStringLiteral("a b c")), words(QStringLiteral("a b c"))), 0);
        QCOMPARE(wordErrors(words(QStringLiteral("a b c")), words(QStringLiteral("a x c"))), 1);
        QCOMPARE(wordErrors(words(QStringLiteral("a b c")), words(QStringLiteral("a c"))), 1);
        QCOMPARE(wordErrors(words(QStringLiteral("a b c")), words(QStringLiteral("a b c d e"))), 2);
        QCOMPARE(words(QStringLiteral("I'm here, really!")), (QStringList{u"i'm"_s, u"here"_s, u"really"_s}));
    }

    void spokenSentencesAreRecognised()
    {
        int errors = 0;
        int total = 0;
        for (const QString &sentence : sentences) {
            const std::vector<qint16> pcm = speechaudio::spokenEnglish(sentence, 16000);
            QVERIFY(!pcm.empty());
            const auto result = engine->recognizePcm(pcm, QDeadlineTimer(60s));
            QVERIFY(result.has_value());
            const QStringList reference = speechaudio::words(sentence);
            const int e = speechaudio::wordErrors(reference, speechaudio::words(result->text));
            qInfo("\"%s\" -> \"%s\" (%d errors)", qPrintable(sentence), qPrintable(result->text), e);
            errors += e;
            total += int(reference.size());
            if (!result->text.isEmpty()) {
                QVERIFY(result->text.front().isUpper());
                QVERIFY(result->text.back().isPunct());
                QVERIFY(result->duration > 0);
                QVERIFY(result->offset + result->duration <=
                        qint64(pcm.size()) * 10'000'000 / 16000 + 100'000);
            }
        }
        const double rate = double(errors) / double(total);
        qInfo("word error rate %.3f (%d of %d words)", rate, errors, total);
        QVERIFY2(rate <= maxWordErrorRate, qPrintable(QString::number(rate)));
    }

    void silenceIsNoMatch()
    {
        const std::vector<qint16> silence(16000 * 2, 0);
        const auto result = engine->recognizePcm(silence, QDeadlineTimer(60s));
        QVERIFY(result.has_value());
        QVERIFY(result->text.isEmpty());
    }
};

QTEST_GUILESS_MAIN(OfflineRecognitionTest)
#include "tst_offlinerecognition.moc"
