// The translation body (escaping, code mapping) and the SSML document.
#include "synthesis.h"
#include "translation.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>
#include <QXmlStreamReader>

using namespace Qt::StringLiterals;

using namespace tolka::cloud;

namespace {

QByteArray bodyFor(const QByteArray &text, const QByteArray &from = "fr-FR", const QByteArray &to = "en-US")
{
    return translationBody(text, toTranslatorCode(from), toTranslatorCode(to));
}

// What a JSON parser reads from a body: its members by name, and the text,
// source and target of its one input ("<none>" for a member left out).
struct ParsedBody
{
    QString error;
    QStringList topMembers;
    QStringList inputMembers;
    QString text;
    QString from;
    QString to;
    qsizetype targets = 0;
};

ParsedBody parsed(const QByteArray &body)
{
    ParsedBody out;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError) {
        out.error = error.errorString();
        return out;
    }
    out.topMembers = document.object().keys();
    const QJsonArray inputs = document.object().value(QStringLiteral("inputs")).toArray();
    const QJsonObject input = inputs.at(0).toObject();
    out.inputMembers = input.keys();
    out.text = input.value(QStringLiteral("text")).toString();
    out.from = input.contains(QStringLiteral("language")) ? input.value(QStringLiteral("language")).toString()
                                                          : QStringLiteral("<none>");
    const QJsonArray targets = input.value(QStringLiteral("targets")).toArray();
    out.targets = targets.size();
    out.to = targets.at(0).toObject().value(QStringLiteral("language")).toString();
    if (inputs.size() != 1)
        out.error = QStringLiteral("%1 inputs").arg(inputs.size());
    return out;
}

struct SsmlContent
{
    QString error;
    QString language;
    QString voice;
    QString rate; // of the prosody element
    QString text;
};

SsmlContent parseSsml(const QByteArray &document)
{
    SsmlContent content;
    QXmlStreamReader xml(document);
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == QLatin1String("speak"))
            content.language = xml.attributes().value(QStringLiteral("xml:lang")).toString();
        else if (xml.isStartElement() && xml.name() == QLatin1String("voice"))
            content.voice = xml.attributes().value(QStringLiteral("name")).toString();
        else if (xml.isStartElement() && xml.name() == QLatin1String("prosody"))
            content.rate = xml.attributes().value(QStringLiteral("rate")).toString();
        else if (xml.isCharacters())
            content.text += xml.text();
    }
    if (xml.hasError())
        content.error = xml.errorString();
    return content;
}

} // namespace

class RequestBodiesTest : public QObject
{
    Q_OBJECT
private slots:
    void quotedHiIsOneInputWithItsSourceAndTarget()
    {
        const QByteArray body = bodyFor("\"hi\"");
        // Compact JSON, members in the writer's order.
        QCOMPARE(body, QByteArray("{\"inputs\":[{\"language\":\"fr\",\"targets\":[{\"language\":\"en\"}],"
                                  "\"text\":\"\\\"hi\\\"\"}]}"));
        const ParsedBody p = parsed(body);
        QVERIFY2(p.error.isEmpty(), qPrintable(p.error));
        QCOMPARE(p.topMembers, QStringList{QStringLiteral("inputs")});
        QCOMPARE(p.inputMembers, (QStringList{u"language"_s, u"targets"_s, u"text"_s}));
        QCOMPARE(p.text, QStringLiteral("\"hi\""));
        QCOMPARE(p.from, QStringLiteral("fr"));
        QCOMPARE(p.to, QStringLiteral("en"));
        QCOMPARE(p.targets, 1);
    }

    void bodyIsValidJsonForEveryControlCharacter()
    {
        for (int c = 0; c < 0x20; ++c) {
            const QByteArray text = QByteArray("a") + char(c) + "b";
            const QByteArray body = bodyFor(text);
            QCOMPARE(parsed(body).text, QString::fromLatin1(text));
            // Escaped, never raw: a raw control character is not JSON.
            QVERIFY(!body.contains(char(c)));
        }
    }

    void bodyIsValidJsonForAwkwardTexts_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("trailing backslash") << QByteArray("C:\\");
        QTest::newRow("backslash before quote") << QByteArray("\\\"");
        QTest::newRow("escaped-looking") << QByteArray("\\u0041\\n");
        QTest::newRow("line breaks and tabs") << QByteArray("one\r\ntwo\tthree");
        QTest::newRow("nul") << QByteArray("x\0y", 3);
        QTest::newRow("DEL and slash") << QByteArray("\x7f/</script>");
        QTest::newRow("non-ASCII") << QByteArray("Grüße, 你好, مرحبا 😀");
        QTest::newRow("empty") << QByteArray();
    }
    void bodyIsValidJsonForAwkwardTexts()
    {
        QFETCH(QByteArray, text);
        const ParsedBody p = parsed(bodyFor(text));
        QVERIFY2(p.error.isEmpty(), qPrintable(p.error));
        QCOMPARE(p.text, QString::fromUtf8(text));
        QCOMPARE(p.from, QStringLiteral("fr"));
        QCOMPARE(p.to, QStringLiteral("en"));
    }

    void localesMapToTranslatorCodes_data()
    {
        QTest::addColumn<QByteArray>("code");
        QTest::addColumn<QByteArray>("mapped");
        // The speech locales, as the interface hands them over.
        QTest::newRow("fr-FR") << QByteArray("fr-FR") << QByteArray("fr");
        QTest::newRow("fr-CA") << QByteArray("fr-CA") << QByteArray("fr-CA");
        QTest::newRow("pt-BR") << QByteArray("pt-BR") << QByteArray("pt");
        QTest::newRow("pt-PT") << QByteArray("pt-PT") << QByteArray("pt-PT");
        QTest::newRow("sr-RS") << QByteArray("sr-RS") << QByteArray("sr-Cyrl");
        QTest::newRow("sr-Latn-RS") << QByteArray("sr-Latn-RS") << QByteArray("sr-Latn");
        QTest::newRow("iu-Cans-CA") << QByteArray("iu-Cans-CA") << QByteArray("iu");
        QTest::newRow("mn-MN") << QByteArray("mn-MN") << QByteArray("mn-Cyrl");
        QTest::newRow("fil-PH") << QByteArray("fil-PH") << QByteArray("fil");
        // Chinese: the speech locales, then names outside them.
        for (const char *c : {"zh-HK", "zh-TW", "cmn-Hant-TW"})
            QTest::newRow(c) << QByteArray(c) << QByteArray("zh-Hant");
        for (const char *c : {"wuu-CN", "yue-CN", "zh-CN", "zh-CN-GUANGXI", "zh-CN-henan", "zh-CN-liaoning",
                              "zh-CN-shaanxi", "zh-CN-shandong", "zh-CN-sichuan", "cmn-Hans-CN"})
            QTest::newRow(c) << QByteArray(c) << QByteArray("zh-Hans");
        // Anything else passes unchanged.
        for (const char *c : {"zh-cn", "zh-SG", "zh", "xx-YY", "", "zh-CN-henan "})
            QTest::newRow(c[0] ? c : "empty") << QByteArray(c) << QByteArray(c);
    }
    void localesMapToTranslatorCodes()
    {
        QFETCH(QByteArray, code);
        QFETCH(QByteArray, mapped);
        QCOMPARE(toTranslatorCode(code), mapped);
    }

    void bothCodesAreMappedAndAnEmptySourceIsLeftOut()
    {
        const ParsedBody p = parsed(bodyFor("x", "zh-HK", "zh-CN"));
        QCOMPARE(p.from, QStringLiteral("zh-Hant"));
        QCOMPARE(p.to, QStringLiteral("zh-Hans"));
        // Without a source the translator detects the language; an empty
        // code would be refused as an invalid source.
        const ParsedBody detect = parsed(bodyFor("x", "", "de-DE"));
        QCOMPARE(detect.from, QStringLiteral("<none>"));
        QCOMPARE(detect.inputMembers, (QStringList{u"targets"_s, u"text"_s}));
        QCOMPARE(detect.to, QStringLiteral("de"));
    }

    void ssmlHasItsPiecesInOrder()
    {
        const QByteArray document = ssmlDocument("fr-FR", "fr-FR-DeniseNeural", "Bonjour", 0.80);
        QVERIFY(document.startsWith("<speak version='1.0' xmlns:mstts='"));
        QVERIFY(document.contains("' xml:lang='fr-FR'><voice name='fr-FR-DeniseNeural'><prosody rate='0.80'>"
                                  "<mstts:silence type='Tailing-exact' value='0'/>"
                                  "<mstts:silence type='Sentenceboundary-exact' value='500ms'/>"
                                  "<mstts:silence type='Comma-exact' value='250ms'/>Bonjour"));
        // The text comes after the three silences, inside the prosody element.
        QVERIFY(document.endsWith("value='250ms'/>Bonjour</prosody></voice></speak>"));
        const SsmlContent content = parseSsml(document);
        QVERIFY2(content.error.isEmpty(), qPrintable(content.error));
        QCOMPARE(content.language, QStringLiteral("fr-FR"));
        QCOMPARE(content.voice, QStringLiteral("fr-FR-DeniseNeural"));
        QCOMPARE(content.text, QStringLiteral("Bonjour"));
        QCOMPARE(content.rate, QStringLiteral("0.80"));
    }

    // The default request is the one sent before the rate could be set,
    // byte for byte.
    void theDefaultRateMakesTheDocumentOfOld()
    {
        const QByteArray expected =
            "<speak version='1.0' xmlns:mstts='http://www.w3.org/2001/mstts' xml:lang='fr-FR'>"
            "<voice name='fr-FR-DeniseNeural'><prosody rate='0.80'>"
            "<mstts:silence type='Tailing-exact' value='0'/>"
            "<mstts:silence type='Sentenceboundary-exact' value='500ms'/>"
            "<mstts:silence type='Comma-exact' value='250ms'/>Bonjour</prosody></voice></speak>";
        QCOMPARE(ssmlDocument("fr-FR", "fr-FR-DeniseNeural", "Bonjour", defaultSpeakingRate), expected);
        QCOMPARE(ssmlDocument("fr-FR", "fr-FR-DeniseNeural", "Bonjour"), expected);
    }

    void theRateIsWrittenBoundedWithTwoDecimals_data()
    {
        QTest::addColumn<double>("rate");
        QTest::addColumn<QByteArray>("written");
        QTest::newRow("default") << 0.8 << QByteArray("0.80");
        QTest::newRow("faster") << 1.25 << QByteArray("1.25");
        QTest::newRow("rounded") << 1.006 << QByteArray("1.01");
        QTest::newRow("too slow") << 0.3 << QByteArray("0.50");
        QTest::newRow("too fast") << 2.0 << QByteArray("1.50");
        QTest::newRow("not a number") << qQNaN() << QByteArray("0.80");
    }
    void theRateIsWrittenBoundedWithTwoDecimals()
    {
        QFETCH(double, rate);
        QFETCH(QByteArray, written);
        QCOMPARE(speakingRateText(rate), written);
        const SsmlContent content = parseSsml(ssmlDocument("en-US", "en-US-AvaNeural", "Hi", rate));
        QVERIFY2(content.error.isEmpty(), qPrintable(content.error));
        QCOMPARE(content.rate, QString::fromLatin1(written));
        QCOMPARE(content.text, QStringLiteral("Hi"));
    }

    void ssmlLanguageIsNotMappedAndAnEmptyVoiceStaysEmpty()
    {
        const SsmlContent content = parseSsml(ssmlDocument("zh-CN", "", "你好", 0.80));
        QVERIFY2(content.error.isEmpty(), qPrintable(content.error));
        QCOMPARE(content.language, QStringLiteral("zh-CN"));
        QCOMPARE(content.voice, QString());
        QCOMPARE(content.text, QStringLiteral("你好"));
    }

    void ssmlIsWellFormedForAnyText_data()
    {
        QTest::addColumn<QByteArray>("language");
        QTest::addColumn<QByteArray>("voice");
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("ampersand") << QByteArray("en-US") << QByteArray("v") << QByteArray("Tom & Jerry");
        QTest::newRow("markup") << QByteArray("en-US") << QByteArray("v") << QByteArray("<b>bold</b> 1 > 0");
        QTest::newRow("quotes") << QByteArray("en-US") << QByteArray("v") << QByteArray("it's \"quoted\"");
        QTest::newRow("voice with quote") << QByteArray("en-US") << QByteArray("a'b\"c") << QByteArray("x");
        QTest::newRow("language with markup") << QByteArray("x'><y") << QByteArray("v") << QByteArray("x");
        QTest::newRow("entity-looking") << QByteArray("en-US") << QByteArray("v") << QByteArray("&amp; &#0;");
    }
    void ssmlIsWellFormedForAnyText()
    {
        QFETCH(QByteArray, language);
        QFETCH(QByteArray, voice);
        QFETCH(QByteArray, text);
        const SsmlContent content = parseSsml(ssmlDocument(language, voice, text, 1.10));
        QVERIFY2(content.error.isEmpty(), qPrintable(content.error));
        QCOMPARE(content.language, QString::fromUtf8(language));
        QCOMPARE(content.voice, QString::fromUtf8(voice));
        QCOMPARE(content.rate, QStringLiteral("1.10"));
        QCOMPARE(content.text, QString::fromUtf8(text));
    }
};

QTEST_GUILESS_MAIN(RequestBodiesTest)
#include "tst_requestbodies.moc"
