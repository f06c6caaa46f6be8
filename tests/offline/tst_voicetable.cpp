// The locale-to-voice table of offline synthesis: every locale of the
// application has a voice, and espeak-ng knows every voice named.
#include "documents.h"
#include "espeaksynthesis.h"
#include "voicetable.h"

#include <QSet>
#include <QTest>

class VoiceTableTest : public QObject
{
    Q_OBJECT

private slots:
    void everyLocaleOnceInCatalogueOrder()
    {
        const QList<voicetable::Entry> entries = voicetable::entries();
        QCOMPARE(entries.size(), 148);
        QSet<QByteArray> seen;
        for (qsizetype i = 0; i < entries.size(); ++i) {
            const QByteArray locale(entries.at(i).locale);
            QVERIFY2(!seen.contains(locale), locale.constData());
            seen.insert(locale);
            if (i > 0)
                QVERIFY2(QByteArray(entries.at(i - 1).locale) < locale, locale.constData());
        }
    }

    // The table covers exactly the voice catalogue's locales, in its order.
    void sameLocalesAsTheVoiceCatalogue()
    {
        const QList<voicetable::Entry> entries = voicetable::entries();
        const auto members = tolka::catalogue::voiceCatalogue.members();
        QCOMPARE(qsizetype(members.size()), entries.size());
        for (qsizetype i = 0; i < entries.size(); ++i) {
            const std::string_view key = members[size_t(i)].key.text();
            QCOMPARE(QByteArray(key.data(), qsizetype(key.size())), QByteArray(entries.at(i).locale));
        }
    }

    void closestVoices_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QByteArray>("voice");
        QTest::newRow("French") << "fr-FR" << QByteArray("fr-fr");
        QTest::newRow("Canadian French") << "fr-CA" << QByteArray("fr-fr");
        QTest::newRow("Mandarin") << "zh-CN" << QByteArray("cmn");
        QTest::newRow("Taiwanese Mandarin") << "zh-TW" << QByteArray("cmn");
        QTest::newRow("Cantonese") << "yue-CN" << QByteArray("yue");
        QTest::newRow("Hong Kong") << "zh-HK" << QByteArray("yue");
        QTest::newRow("Henan Mandarin") << "zh-CN-henan" << QByteArray("cmn");
        QTest::newRow("US English") << "en-US" << QByteArray("en-us");
        QTest::newRow("British English") << "en-GB" << QByteArray("en-gb");
        QTest::newRow("Mexican Spanish") << "es-MX" << QByteArray("es-419");
        QTest::newRow("Spain") << "es-ES" << QByteArray("es");
        QTest::newRow("Brazil") << "pt-BR" << QByteArray("pt-br");
        QTest::newRow("Serbian Latin") << "sr-Latn-RS" << QByteArray("sr");
        QTest::newRow("case ignored") << "FR-fr" << QByteArray("fr-fr");
    }
    void closestVoices()
    {
        QFETCH(QString, locale);
        QFETCH(QByteArray, voice);
        QCOMPARE(voicetable::voiceFor(locale), std::optional<QByteArray>(voice));
    }

    void unknownCodesHaveNoVoice_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::newRow("made up") << "xx-XX";
        QTest::newRow("language only") << "fr";
        QTest::newRow("empty") << "";
        QTest::newRow("prefix of a code") << "zh-CN-";
    }
    void unknownCodesHaveNoVoice()
    {
        QFETCH(QString, locale);
        QVERIFY(!voicetable::voiceFor(locale));
    }

    // Digits are read in every language, so each voice must give sound.
    void espeakSpeaksWithEveryVoice()
    {
        EspeakSynthesis synthesis;
        QSet<QByteArray> tried;
        for (const voicetable::Entry &entry : voicetable::entries()) {
            if (tried.contains(entry.voice))
                continue;
            tried.insert(entry.voice);
            const auto pcm =
                synthesis.speak({QStringLiteral("12"), QString::fromLatin1(entry.locale), {}, 1.0});
            QVERIFY2(pcm.has_value(), entry.locale);
            QVERIFY2(pcm->size() > 24000 / 10, entry.locale); // more than 100 ms
        }
        QVERIFY(tried.size() > 70);
    }
};

QTEST_GUILESS_MAIN(VoiceTableTest)
#include "tst_voicetable.moc"
