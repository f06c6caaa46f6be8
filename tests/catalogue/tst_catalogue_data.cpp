// Invariants of the stored catalogue as a whole.
#include "catalogue.h"
#include "documents.h"
#include "translatorcodes.h"

#include <QCollator>
#include <QHash>
#include <QLocale>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

#include <algorithm>

using namespace Qt::StringLiterals;

using tolka::StaticMember;
using tolka::StaticValue;
using namespace tolka::catalogue;

namespace {

QByteArray b(const StaticValue &v)
{
    const auto t = v.text();
    return QByteArray(t.data(), qsizetype(t.size()));
}

QString s(const StaticValue &v)
{
    return QString::fromUtf8(b(v));
}

const QByteArrayList specCodes = {
    "af-ZA",          "am-ET", "ar-AE", "ar-BH", "ar-DZ", "ar-EG",  "ar-IQ",      "ar-JO",      "ar-KW",
    "ar-LB",          "ar-LY", "ar-MA", "ar-OM", "ar-QA", "ar-SA",  "ar-SY",      "ar-TN",      "ar-YE",
    "as-IN",          "az-AZ", "bg-BG", "bn-BD", "bn-IN", "bs-BA",  "ca-ES",      "cs-CZ",      "cy-GB",
    "da-DK",          "de-AT", "de-CH", "de-DE", "el-GR", "en-AU",  "en-CA",      "en-GB",      "en-HK",
    "en-IE",          "en-IN", "en-KE", "en-NG", "en-NZ", "en-PH",  "en-SG",      "en-TZ",      "en-US",
    "en-ZA",          "es-AR", "es-BO", "es-CL", "es-CO", "es-CR",  "es-CU",      "es-DO",      "es-EC",
    "es-ES",          "es-GQ", "es-GT", "es-HN", "es-MX", "es-NI",  "es-PA",      "es-PE",      "es-PR",
    "es-PY",          "es-SV", "es-US", "es-UY", "es-VE", "et-EE",  "eu-ES",      "fa-IR",      "fi-FI",
    "fil-PH",         "fr-BE", "fr-CA", "fr-CH", "fr-FR", "ga-IE",  "gl-ES",      "gu-IN",      "he-IL",
    "hi-IN",          "hr-HR", "hu-HU", "hy-AM", "id-ID", "is-IS",  "it-IT",      "iu-Cans-CA", "iu-Latn-CA",
    "ja-JP",          "ka-GE", "kk-KZ", "km-KH", "kn-IN", "ko-KR",  "lo-LA",      "lt-LT",      "lv-LV",
    "mk-MK",          "ml-IN", "mn-MN", "mr-IN", "ms-MY", "mt-MT",  "my-MM",      "nb-NO",      "ne-NP",
    "nl-BE",          "nl-NL", "or-IN", "pa-IN", "pl-PL", "ps-AF",  "pt-BR",      "pt-PT",      "ro-RO",
    "ru-RU",          "si-LK", "sk-SK", "sl-SI", "so-SO", "sq-AL",  "sr-Latn-RS", "sr-RS",      "sv-SE",
    "sw-KE",          "sw-TZ", "ta-IN", "ta-LK", "ta-MY", "ta-SG",  "te-IN",      "th-TH",      "tr-TR",
    "uk-UA",          "ur-IN", "ur-PK", "uz-UZ", "vi-VN", "wuu-CN", "yue-CN",     "zh-CN",      "zh-CN-henan",
    "zh-CN-shandong", "zh-HK", "zh-TW", "zu-ZA"};

const QByteArrayList specLanguages = {
    "af", "am", "ar", "as", "az",  "bg", "bn", "bs", "ca", "cs", "cy", "da", "de",      "el",      "en", "es",
    "et", "eu", "fa", "fi", "fil", "fr", "ga", "gl", "gu", "he", "hi", "hr", "hu",      "hy",      "id", "is",
    "it", "iu", "ja", "ka", "kk",  "km", "kn", "ko", "lo", "lt", "lv", "mk", "ml",      "mn",      "mr", "ms",
    "mt", "my", "nb", "ne", "nl",  "or", "pa", "pl", "ps", "pt", "ro", "ru", "si",      "sk",      "sl", "so",
    "sq", "sr", "sv", "sw", "ta",  "te", "th", "tr", "uk", "ur", "uz", "vi", "zh-Hans", "zh-Hant", "zu"};

QByteArrayList keys(const StaticValue &object)
{
    QByteArrayList out;
    for (const StaticMember &m : object.members())
        out.append(b(m.key));
    return out;
}

bool byteOrdered(const QByteArrayList &list)
{
    return std::is_sorted(list.begin(), list.end());
}

// The %1 and %2 markers of a label, sorted: the interface fills them in.
QByteArrayList placeholders(const QByteArray &text)
{
    static const QRegularExpression marker(u"%[0-9]"_s);
    QByteArrayList out;
    for (const QRegularExpressionMatch &m : marker.globalMatch(QString::fromUtf8(text)))
        out.append(m.captured().toUtf8());
    std::sort(out.begin(), out.end());
    return out;
}

// The labels of the conversation mode and its transcript, ids 61 to 79.
constexpr qsizetype firstConversationLabel = 61;
const QByteArrayList conversationLabels = {
    "Conversation",
    "Transcript",
    "Copy",
    "Copy all",
    "Export…",
    "Plain text",
    "Markdown",
    "CSV table",
    "Timed text (SRT)",
    "Clear the transcript",
    "Clear the whole transcript? This cannot be undone.",
    "Clear",
    "Cancel",
    "Speaking rate",
    "Copied.",
    "Saved to %1",
    "Could not save %1",
    "The transcript is empty.",
    "Voice for %1",
};

// The labels of the settings' desktop section and of the tray icon, ids 80
// to 94.
constexpr qsizetype firstDesktopLabel = 80;
const QByteArrayList desktopLabels = {
    "Desktop",
    "Hold-to-talk key",
    "Press the new key…",
    "Bring the window to the front",
    "Always on top",
    "Close to the tray",
    "Show",
    "Hide",
    "Quit",
    "Recording",
    "Speaking",
    "This desktop offers no global shortcuts.",
    "Another program already uses this key.",
    "The desktop did not allow the shortcut.",
    "This key cannot be used.",
};

// The notice that the speech service's audio could not be played, id 95.
constexpr qsizetype firstPlaybackLabel = 95;
const QByteArrayList playbackLabels = {
    "The voice's reply could not be played.",
};

// The labels from id first on: their English texts, and in every language a
// string that is neither empty nor padded and keeps the English placeholders.
void verifyLabelBlock(qsizetype first, const QByteArrayList &english)
{
    for (qsizetype i = 0; i < english.size(); ++i) {
        const QByteArray id = QByteArray::number(first + i);
        const StaticValue *raw = rawLabels.find(id.toStdString());
        QVERIFY2(raw, id.constData());
        QCOMPARE(b(*raw), english.at(i));
        for (const StaticMember &language : baseLabels.members()) {
            const QByteArray where = b(language.key) + " " + id;
            const StaticValue *label = language.value.find(id.toStdString());
            QVERIFY2(label && label->isString(), where.constData());
            const QByteArray text = b(*label);
            QVERIFY2(!text.isEmpty() && text == text.trimmed(), where.constData());
            QVERIFY2(placeholders(text) == placeholders(english.at(i)), (where + ": " + text).constData());
        }
    }
}

// Whether a language's labels of these ids all differ, as one menu's items must.
bool distinct(const StaticValue &language, std::initializer_list<const char *> ids)
{
    QSet<QByteArray> seen;
    for (const char *id : ids)
        seen.insert(b(language[id]));
    return seen.size() == qsizetype(ids.size());
}

} // namespace

class tst_catalogue_data : public QObject
{
    Q_OBJECT
private slots:
    void supportedCodes()
    {
        QCOMPARE(voiceCatalogue.size(), 148u);
        QCOMPARE(keys(voiceCatalogue), specCodes);
        QVERIFY(byteOrdered(keys(voiceCatalogue)));
        QCOMPARE(tolka::catalogue::supportedCodes(), specCodes);
    }
    void everyCodeHasAnInterfaceLanguage()
    {
        const QSet<QByteArray> languages(specLanguages.begin(), specLanguages.end());
        for (const QByteArray &code : specCodes)
            QVERIFY2(languages.contains(languageKey(code)), code.constData());
        QCOMPARE(interfaceLanguages(), specLanguages);
    }
    void voiceCounts()
    {
        const QHash<QByteArray, int> other = {
            {"ca-ES", 3},          {"de-DE", 15}, {"en-AU", 14}, {"en-GB", 14}, {"en-IN", 10},
            {"en-US", 26},         {"es-ES", 16}, {"es-MX", 15}, {"fi-FI", 3},  {"fr-CA", 4},
            {"fr-FR", 14},         {"hi-IN", 9},  {"it-IT", 16}, {"ja-JP", 7},  {"ko-KR", 9},
            {"nb-NO", 3},          {"nl-NL", 3},  {"pl-PL", 3},  {"pt-BR", 16}, {"pt-PT", 3},
            {"ru-RU", 3},          {"sv-SE", 3},  {"th-TH", 3},  {"zh-CN", 22}, {"zh-CN-henan", 1},
            {"zh-CN-shandong", 1}, {"zh-HK", 3},  {"zh-TW", 3}};
        int total = 0;
        int twos = 0;
        for (const StaticMember &m : voiceCatalogue.members()) {
            const int n = int(m.value["voices"].size());
            total += n;
            if (other.contains(b(m.key)))
                QCOMPARE(n, other.value(b(m.key)));
            else
                QCOMPARE(n, 2);
            twos += n == 2 && !other.contains(b(m.key));
        }
        QCOMPARE(total, 482);
        QCOMPARE(twos, 120);
    }
    void voiceShape()
    {
        QSet<QByteArray> shortNames;
        int nativeScript = 0;
        const QRegularExpression latinName(u"^[A-Za-z]+$"_s);
        for (const StaticMember &m : voiceCatalogue.members()) {
            const QByteArray code = b(m.key);
            QCOMPARE(keys(m.value), QByteArrayList({"LocaleName", "voices"}));
            QVERIFY(m.value["voices"].isArray());
            QByteArrayList names;
            QSet<QByteArray> local;
            for (const StaticValue &voice : m.value["voices"].elements()) {
                QCOMPARE(keys(voice), QByteArrayList({"LocalName", "ShortName"}));
                const QByteArray shortName = b(voice["ShortName"]);
                QVERIFY2(shortName.startsWith(code + '-') && shortName.endsWith("Neural"),
                         shortName.constData());
                const QByteArray inner = shortName.mid(code.size() + 1).chopped(6);
                QVERIFY2(latinName.match(QString::fromLatin1(inner)).hasMatch(), shortName.constData());
                QVERIFY2(!shortNames.contains(shortName), shortName.constData());
                shortNames.insert(shortName);
                const QByteArray localName = b(voice["LocalName"]);
                QVERIFY2(!local.contains(localName), localName.constData());
                local.insert(localName);
                nativeScript += localName != inner;
                names.append(shortName);
            }
            QVERIFY2(byteOrdered(names), code.constData());
        }
        QCOMPARE(nativeScript, 185);
    }
    void englishListIsTheLocaleNames()
    {
        const StaticValue &en = languageNames["en"];
        QByteArrayList expected;
        for (const StaticMember &m : voiceCatalogue.members())
            expected.append(b(m.value["LocaleName"]));
        std::sort(expected.begin(), expected.end());
        QCOMPARE(keys(en), expected);
        for (const StaticMember &m : en.members())
            QCOMPARE(b(voiceCatalogue[m.value.text()]["LocaleName"]), b(m.key));
    }
    void tellingRows_data()
    {
        QTest::addColumn<QByteArray>("language");
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QByteArray>("code");
        const char *rows[][2] = {{"Afrikaans (South Africa)", "af-ZA"},
                                 {"Chinese (Cantonese, Simplified)", "yue-CN"},
                                 {"Chinese (Cantonese, Traditional)", "zh-HK"},
                                 {"Chinese (Jilu Mandarin, Simplified)", "zh-CN-shandong"},
                                 {"Chinese (Mandarin, Simplified)", "zh-CN"},
                                 {"Chinese (Taiwanese Mandarin, Traditional)", "zh-TW"},
                                 {"Chinese (Wu, Simplified)", "wuu-CN"},
                                 {"Chinese (Zhongyuan Mandarin Henan, Simplified)", "zh-CN-henan"},
                                 {"English (United States)", "en-US"},
                                 {"Inuktitut (Latin, Canada)", "iu-Latn-CA"},
                                 {"Inuktitut (Syllabics, Canada)", "iu-Cans-CA"},
                                 {"Serbian (Cyrillic, Serbia)", "sr-RS"},
                                 {"Serbian (Latin, Serbia)", "sr-Latn-RS"},
                                 {"Zulu (South Africa)", "zu-ZA"}};
        for (const auto &row : rows)
            QTest::newRow(row[1]) << QByteArray("en") << QByteArray(row[0]) << QByteArray(row[1]);
        QTest::newRow("af lv-LV") << QByteArray("af") << QByteArray("Letties (Letland)")
                                  << QByteArray("lv-LV");
    }
    void tellingRows()
    {
        QFETCH(QByteArray, language);
        QFETCH(QByteArray, name);
        QFETCH(QByteArray, code);
        QCOMPARE(b(languageNames[language.toStdString()][name.toStdString()]), code);
    }
    void firstAndLastEnglishRows()
    {
        const auto en = languageNames["en"].members();
        QCOMPARE(b(en.front().value), "af-ZA");
        QCOMPARE(b(en.back().value), "zu-ZA");
    }
    void everyLanguageNamesEveryLocale()
    {
        QCOMPARE(keys(languageNames), specLanguages);
        const QSet<QByteArray> supported(specCodes.begin(), specCodes.end());
        for (const StaticMember &language : languageNames.members()) {
            const QByteArray lang = b(language.key);
            QCOMPARE(language.value.size(), 148u);
            QSet<QByteArray> names;
            QSet<QByteArray> codes;
            for (const StaticMember &m : language.value.members()) {
                QVERIFY(m.key.isString() && m.value.isString());
                const QByteArray name = b(m.key);
                const QByteArray code = b(m.value);
                QVERIFY2(!name.isEmpty() && !names.contains(name), (lang + ": " + name).constData());
                QVERIFY2(supported.contains(code), (lang + ": " + code).constData());
                QVERIFY2(!codes.contains(code), (lang + ": " + code).constData());
                QVERIFY2(QString::fromUtf8(name).isValidUtf16(), name.constData());
                names.insert(name);
                codes.insert(code);
            }
        }
    }
    void listsAreInTheLanguagesOrder()
    {
        // The generator sorts with ICU's collator; Qt's collator (ICU as
        // well on this platform) must find every list in order.
        int checked = 0;
        for (const StaticMember &language : languageNames.members()) {
            const QByteArray lang = b(language.key);
            if (lang == "en")
                continue;
            const QLocale locale(QString::fromLatin1(lang));
            if (locale.language() == QLocale::C)
                continue;
            // QCollator fixes the handling of punctuation, where some ICU
            // tailorings (Thai, for one) ignore it: either reading will do.
            QCollator collator(locale);
            QCollator ignoringPunctuation(locale);
            ignoringPunctuation.setIgnorePunctuation(true);
            const auto members = language.value.members();
            for (size_t i = 1; i < members.size(); ++i) {
                const QString a = s(members[i - 1].key);
                const QString z = s(members[i].key);
                QVERIFY2(collator.compare(a, z) <= 0 || ignoringPunctuation.compare(a, z) <= 0,
                         (lang + ": " + b(members[i - 1].key) + " before " + b(members[i].key)).constData());
            }
            ++checked;
        }
        QVERIFY(checked > 70);
    }
    void labels()
    {
        QCOMPARE(keys(baseLabels), specLanguages);
        QByteArrayList labelKeys;
        for (qsizetype i = 0; i < labelCount; ++i)
            labelKeys.append(QByteArray::number(i));
        QCOMPARE(keys(rawLabels), labelKeys);
        const QByteArray address = b(rawLabels["4"]);
        QVERIFY(address.startsWith("https://"));
        for (const StaticMember &language : baseLabels.members()) {
            const QByteArray lang = b(language.key);
            QCOMPARE(keys(language.value), labelKeys);
            QVERIFY2(b(language.value["0"]).endsWith('#'), lang.constData());
            QCOMPARE(b(language.value["4"]), address);
            QCOMPARE(b(language.value["9"]), "email");
            QCOMPARE(b(language.value["10"]), "website");
            for (const StaticMember &m : language.value.members()) {
                QVERIFY2(!b(m.value).trimmed().isEmpty(), (lang + " " + b(m.key)).constData());
                QVERIFY2(placeholders(b(m.value)) == placeholders(b(rawLabels[m.key.text()])),
                         (lang + " " + b(m.key) + ": " + b(m.value)).constData());
            }
        }
        for (const StaticMember &m : rawLabels.members())
            QCOMPARE(b(baseLabels["en"][m.key.text()]), b(m.value));
        QCOMPARE(b(rawLabels["0"]), "About Tolka#");
        QCOMPARE(b(rawLabels["25"]), "Standard (quality)");
    }
    void conversationLabelsInEveryLanguage()
    {
        QCOMPARE(firstConversationLabel + conversationLabels.size(), firstDesktopLabel);
        verifyLabelBlock(firstConversationLabel, conversationLabels);
        if (QTest::currentTestFailed())
            return;
        // The export item opens a dialog, which every language marks with
        // the ellipsis of the English text.
        for (const StaticMember &language : baseLabels.members())
            QVERIFY2(b(language.value["65"]).endsWith("…"), b(language.key).constData());
    }
    void desktopLabelsInEveryLanguage()
    {
        QCOMPARE(firstDesktopLabel + desktopLabels.size(), firstPlaybackLabel);
        verifyLabelBlock(firstDesktopLabel, desktopLabels);
        if (QTest::currentTestFailed())
            return;
        for (const StaticMember &language : baseLabels.members()) {
            const QByteArray lang = b(language.key);
            // The prompt waits for a key press, as the English ellipsis says.
            QVERIFY2(b(language.value["82"]).endsWith("…"), lang.constData());
            // The tray menu's items and the tray tooltip's two states.
            QVERIFY2(distinct(language.value, {"86", "87", "88"}), lang.constData());
            QVERIFY2(distinct(language.value, {"89", "90"}), lang.constData());
        }
    }
    void playbackLabelsInEveryLanguage()
    {
        QCOMPARE(firstPlaybackLabel + playbackLabels.size(), labelCount);
        verifyLabelBlock(firstPlaybackLabel, playbackLabels);
        if (QTest::currentTestFailed())
            return;
        for (const StaticMember &language : baseLabels.members()) {
            const QByteArray lang = b(language.key);
            // A sentence left in English, or the text of the neighbouring
            // sound notices copied over it, would tell the wrong problem.
            if (lang != "en")
                QVERIFY2(b(language.value["95"]) != playbackLabels.first(), lang.constData());
            QVERIFY2(distinct(language.value, {"50", "57", "95"}), lang.constData());
        }
    }
    void stores()
    {
        QCOMPARE(keys(storeLinks), QByteArrayList({"android", "macos", "ios"}));
        QCOMPARE(b(storeLinks["android"]["name"]), "Google Play Store");
        QCOMPARE(b(storeLinks["macos"]["name"]), "Mac App Store");
        QCOMPARE(b(storeLinks["ios"]["name"]), "Apple Store");
        for (const StaticMember &m : storeLinks.members()) {
            QCOMPARE(keys(m.value), QByteArrayList({"name", "url"}));
            QVERIFY(b(m.value["url"]).startsWith("https://"));
        }
        QCOMPARE(contributorLines.size(), 9u);
        for (const StaticValue &line : contributorLines.elements())
            QVERIFY(b(line).contains(" : "));
    }
    void shadowTable()
    {
        const double table[13][3][4] = {
            {{0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}},
            {{1, 3, 0, 6.5}, {1, 1, 0, 2.5}, {2, 1, -1, 0.5}},
            {{1, 5, 0, 10}, {2, 2, 0, 5}, {3, 1, -2, -1}},
            {{1, 8, 0, 17.5}, {3, 4, 0, 9.5}, {3, 3, -2, 3.5}},
            {{2, 4, -1, 7}, {4, 5, 0, 12}, {1, 10, 0, 22}},
            {{3, 5, -1, 8}, {5, 8, 0, 18}, {1, 14, 0, 29}},
            {{3, 5, -1, 9.5}, {6, 10, 0, 21.5}, {1, 18, 0, 37.5}},
            {{4, 5, -2, 7}, {7, 10, 1, 23}, {2, 16, 1, 34}},
            {{5, 5, -3, 6}, {8, 10, 1, 22.5}, {3, 14, 2, 38.5}},
            {{5, 6, -3, 7}, {9, 12, 1, 25}, {3, 16, 2, 41}},
            {{6, 6, -3, 7.5}, {10, 14, 1, 30.5}, {4, 18, 3, 46.5}},
            {{6, 7, -4, 7}, {11, 15, 1, 33}, {4, 20, 3, 51}},
            {{7, 8, -4, 7.5}, {12, 17, 2, 39.5}, {5, 22, 4, 59.5}},
        };
        QByteArrayList levelKeys;
        for (int i = 0; i < 13; ++i)
            levelKeys.append(QByteArray::number(i));
        QCOMPARE(keys(shadowLevels), levelKeys);
        for (int level = 0; level < 13; ++level) {
            const StaticValue &layers = shadowLevels.valueAt(size_t(level));
            QCOMPARE(layers.size(), 3u);
            for (int j = 0; j < 3; ++j) {
                const StaticValue &layer = layers.at(size_t(j));
                QCOMPARE(keys(layer), QByteArrayList({"offset", "blur", "spread", "padding"}));
                for (int k = 0; k < 4; ++k) {
                    QVERIFY(layer.valueAt(size_t(k)).isNumber());
                    QCOMPARE(layer.valueAt(size_t(k)).toDouble(), table[level][j][k]);
                }
            }
        }
    }

    void everyVoiceIsKnownByItsShortNameOnly()
    {
        int voices = 0;
        for (const StaticMember &m : voiceCatalogue.members()) {
            for (const StaticValue &voice : m.value["voices"].elements()) {
                const QByteArray shortName = b(voice["ShortName"]);
                QVERIFY2(isVoiceName(shortName), shortName.constData());
                // Near misses: case, a missing suffix, a neighbour's locale.
                QVERIFY(!isVoiceName(shortName.toLower()));
                QVERIFY(!isVoiceName(shortName.chopped(6)));
                QVERIFY(!isVoiceName(shortName + ' '));
                ++voices;
            }
        }
        QCOMPARE(voices, 482);
        QVERIFY(!isVoiceName("fr-CA-DeniseNeural")); // a fr-FR voice
        QVERIFY(!isVoiceName(""));
        QVERIFY(!isVoiceName("-"));
        QVERIFY(!isVoiceName("Neural"));
    }

    void everyLocaleHasATranslatorCodeTheTranslatorAccepts()
    {
        QCOMPARE(translatorCodes.size(), 148u);
        for (const StaticMember &m : voiceCatalogue.members()) {
            const QByteArray code = translatorCode(b(m.key));
            QVERIFY2(isTranslatorLanguage(code), code.constData());
            // The language itself, or one of its scripts or regions.
            const QByteArray language = b(m.key).split('-').constFirst();
            const bool chinese = language == "zh" || language == "wuu" || language == "yue";
            QVERIFY2(chinese ? code.startsWith("zh-Han") : code.startsWith(language),
                     (b(m.key) + " -> " + code).constData());
        }
        QCOMPARE(translatorLanguageCodes().size(), 135);
        // Tags are case-insensitive; other codes are not the translator's.
        QVERIFY(isTranslatorLanguage("FR-ca"));
        QVERIFY(isTranslatorLanguage("zh-hans"));
        QVERIFY(!isTranslatorLanguage("fr-FR"));
        QVERIFY(!isTranslatorLanguage("zh"));
        QVERIFY(!isTranslatorLanguage(""));
    }
};

QTEST_APPLESS_MAIN(tst_catalogue_data)
#include "tst_catalogue_data.moc"
