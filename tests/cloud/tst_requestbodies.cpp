// The translation body (escaping, code mapping) and the SSML document.
#include "synthesis.h"
#include "translation.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>
#include <QXmlStreamReader>

using namespace tolka::cloud;

namespace {
const QByteArray quotedHiBody =
    "[{\"Text\":\"\\\"hi\\\"\", \"language\": \"fr-FR\", \"targets\": [{ \"language\": \"en-US\" }]}]";
const QByteArray escapedControls = "\\b\\f\\n\\r\\t\\u0001\\u001f";
const QByteArray emptySourceLanguage = "\"language\": \"\", ";
} // namespace

namespace {

QByteArray bodyFor(const QByteArray &text, const QByteArray &from = "fr-FR", const QByteArray &to = "en-US")
{
    return translationBody(escapeJsonText(text), toTranslatorCode(from), toTranslatorCode(to));
}

// The text, source and target the body carries, as a JSON parser reads them.
QStringList parsed(const QByteArray &body)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError)
        return {QStringLiteral("invalid: ") + error.errorString()};
    const QJsonObject item = document.array().at(0).toObject();
    return {item.value(QStringLiteral("Text")).toString(), item.value(QStringLiteral("language")).toString(),
            item.value(QStringLiteral("targets"))
                .toArray()
                .at(0)
                .toObject()
                .value(QStringLiteral("language"))
                .toString()};
}

struct SsmlContent
{
    QString error;
    QString language;
    QString voice;
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
    void quotedHiIsTheExact78ByteBody()
    {
        const QByteArray body = bodyFor("\"hi\"");
        QCOMPARE(body, quotedHiBody);
        QCOMPARE(body.size(), 78);
    }

    void bodyIsValidJsonForEveryControlCharacter()
    {
        for (int c = 0; c < 0x20; ++c) {
            const QByteArray text = QByteArray("a") + char(c) + "b";
            QCOMPARE(parsed(bodyFor(text)).value(0), QString::fromLatin1(text));
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
        QCOMPARE(parsed(bodyFor(text)),
                 (QStringList{QString::fromUtf8(text), QStringLiteral("fr-FR"), QStringLiteral("en-US")}));
    }

    void controlCharactersUseShortOrUnicodeEscapes()
    {
        QCOMPARE(escapeJsonText(QByteArray("\b\f\n\r\t\x01\x1f", 7)), escapedControls);
        QCOMPARE(escapeJsonText("plain text"), QByteArray("plain text"));
    }

    void chineseCodesMapToScripts_data()
    {
        QTest::addColumn<QByteArray>("code");
        QTest::addColumn<QByteArray>("mapped");
        for (const char *c : {"zh-HK", "zh-TW", "cmn-Hant-TW"})
            QTest::newRow(c) << QByteArray(c) << QByteArray("zh-Hant");
        for (const char *c : {"wuu-CN", "yue-CN", "zh-CN", "zh-CN-GUANGXI", "zh-CN-henan", "zh-CN-liaoning",
                              "zh-CN-shaanxi", "zh-CN-shandong", "zh-CN-sichuan", "cmn-Hans-CN"})
            QTest::newRow(c) << QByteArray(c) << QByteArray("zh-Hans");
        for (const char *c : {"zh-cn", "zh-SG", "zh", "fr-FR", "", "zh-CN-henan "})
            QTest::newRow(c[0] ? c : "empty") << QByteArray(c) << QByteArray(c);
    }
    void chineseCodesMapToScripts()
    {
        QFETCH(QByteArray, code);
        QFETCH(QByteArray, mapped);
        QCOMPARE(toTranslatorCode(code), mapped);
    }

    void bothCodesAreMappedAndAnEmptySourceStaysEmpty()
    {
        QCOMPARE(parsed(bodyFor("x", "zh-HK", "zh-CN")).mid(1), (QStringList{"zh-Hant", "zh-Hans"}));
        QVERIFY(bodyFor("x", "", "de-DE").contains(emptySourceLanguage));
    }

    void ssmlHasItsPiecesInOrder()
    {
        const QByteArray document = ssmlDocument("fr-FR", "fr-FR-DeniseNeural", "Bonjour");
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
    }

    void ssmlLanguageIsNotMappedAndAnEmptyVoiceStaysEmpty()
    {
        const SsmlContent content = parseSsml(ssmlDocument("zh-CN", "", "你好"));
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
        const SsmlContent content = parseSsml(ssmlDocument(language, voice, text));
        QVERIFY2(content.error.isEmpty(), qPrintable(content.error));
        QCOMPARE(content.language, QString::fromUtf8(language));
        QCOMPARE(content.voice, QString::fromUtf8(voice));
        QCOMPARE(content.text, QString::fromUtf8(text));
    }
};

QTEST_GUILESS_MAIN(RequestBodiesTest)
#include "tst_requestbodies.moc"
