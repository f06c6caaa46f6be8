#include "voicetable.h"

#include <array>

namespace voicetable {

namespace {

// Where espeak-ng has no voice of the language itself, the nearest one it has
// is used (noted on the line): a related language that reads the same script
// where there is one. English and Spanish variants go to the nearest accent.
constexpr std::array<Entry, 148> table{{
    {"af-ZA", "af"},
    {"am-ET", "am"},
    {"ar-AE", "ar"},
    {"ar-BH", "ar"},
    {"ar-DZ", "ar"},
    {"ar-EG", "ar"},
    {"ar-IQ", "ar"},
    {"ar-JO", "ar"},
    {"ar-KW", "ar"},
    {"ar-LB", "ar"},
    {"ar-LY", "ar"},
    {"ar-MA", "ar"},
    {"ar-OM", "ar"},
    {"ar-QA", "ar"},
    {"ar-SA", "ar"},
    {"ar-SY", "ar"},
    {"ar-TN", "ar"},
    {"ar-YE", "ar"},
    {"as-IN", "as"},
    {"az-AZ", "az"},
    {"bg-BG", "bg"},
    {"bn-BD", "bn"},
    {"bn-IN", "bn"},
    {"bs-BA", "bs"},
    {"ca-ES", "ca"},
    {"cs-CZ", "cs"},
    {"cy-GB", "cy"},
    {"da-DK", "da"},
    {"de-AT", "de"},
    {"de-CH", "de"},
    {"de-DE", "de"},
    {"el-GR", "el"},
    {"en-AU", "en-gb"},
    {"en-CA", "en-us"},
    {"en-GB", "en-gb"},
    {"en-HK", "en-gb"},
    {"en-IE", "en-gb"},
    {"en-IN", "en-gb"},
    {"en-KE", "en-gb"},
    {"en-NG", "en-gb"},
    {"en-NZ", "en-gb"},
    {"en-PH", "en-us"},
    {"en-SG", "en-gb"},
    {"en-TZ", "en-gb"},
    {"en-US", "en-us"},
    {"en-ZA", "en-gb"},
    {"es-AR", "es-419"},
    {"es-BO", "es-419"},
    {"es-CL", "es-419"},
    {"es-CO", "es-419"},
    {"es-CR", "es-419"},
    {"es-CU", "es-419"},
    {"es-DO", "es-419"},
    {"es-EC", "es-419"},
    {"es-ES", "es"},
    {"es-GQ", "es"},
    {"es-GT", "es-419"},
    {"es-HN", "es-419"},
    {"es-MX", "es-419"},
    {"es-NI", "es-419"},
    {"es-PA", "es-419"},
    {"es-PE", "es-419"},
    {"es-PR", "es-419"},
    {"es-PY", "es-419"},
    {"es-SV", "es-419"},
    {"es-US", "es-419"},
    {"es-UY", "es-419"},
    {"es-VE", "es-419"},
    {"et-EE", "et"},
    {"eu-ES", "eu"},
    {"fa-IR", "fa"},
    {"fi-FI", "fi"},
    {"fil-PH", "id"}, // no Tagalog: Indonesian, Austronesian, Latin script
    {"fr-BE", "fr-be"},
    {"fr-CA", "fr-fr"},
    {"fr-CH", "fr-ch"},
    {"fr-FR", "fr-fr"},
    {"ga-IE", "ga"},
    {"gl-ES", "es"}, // no Galician: Spanish spelling rules fit it best
    {"gu-IN", "gu"},
    {"he-IL", "he"},
    {"hi-IN", "hi"},
    {"hr-HR", "hr"},
    {"hu-HU", "hu"},
    {"hy-AM", "hy"},
    {"id-ID", "id"},
    {"is-IS", "is"},
    {"it-IT", "it"},
    {"iu-Cans-CA", "kl"}, // no Inuktitut: Greenlandic (it cannot read syllabics)
    {"iu-Latn-CA", "kl"}, // no Inuktitut: Greenlandic
    {"ja-JP", "ja"},
    {"ka-GE", "ka"},
    {"kk-KZ", "kk"},
    {"km-KH", "vi"}, // no Khmer: Vietnamese, same family (it cannot read Khmer script)
    {"kn-IN", "kn"},
    {"ko-KR", "ko"},
    {"lo-LA", "th"}, // no Lao: Thai, nearly the same language (it cannot read Lao script)
    {"lt-LT", "lt"},
    {"lv-LV", "lv"},
    {"mk-MK", "mk"},
    {"ml-IN", "ml"},
    {"mn-MN", "ky"}, // no Mongolian: Kyrgyz reads the same Cyrillic letters
    {"mr-IN", "mr"},
    {"ms-MY", "ms"},
    {"mt-MT", "mt"},
    {"my-MM", "my"},
    {"nb-NO", "nb"},
    {"ne-NP", "ne"},
    {"nl-BE", "nl"},
    {"nl-NL", "nl"},
    {"or-IN", "or"},
    {"pa-IN", "pa"},
    {"pl-PL", "pl"},
    {"ps-AF", "fa"}, // no Pashto: Persian, Iranian, Arabic script
    {"pt-BR", "pt-br"},
    {"pt-PT", "pt"},
    {"ro-RO", "ro"},
    {"ru-RU", "ru"},
    {"si-LK", "si"},
    {"sk-SK", "sk"},
    {"sl-SI", "sl"},
    {"so-SO", "om"}, // no Somali: Oromo, Cushitic, Latin script
    {"sq-AL", "sq"},
    {"sr-Latn-RS", "sr"},
    {"sr-RS", "sr"},
    {"sv-SE", "sv"},
    {"sw-KE", "sw"},
    {"sw-TZ", "sw"},
    {"ta-IN", "ta"},
    {"ta-LK", "ta"},
    {"ta-MY", "ta"},
    {"ta-SG", "ta"},
    {"te-IN", "te"},
    {"th-TH", "th"},
    {"tr-TR", "tr"},
    {"uk-UA", "uk"},
    {"ur-IN", "ur"},
    {"ur-PK", "ur"},
    {"uz-UZ", "uz"},
    {"vi-VN", "vi"},
    {"wuu-CN", "cmn"}, // no Wu: Mandarin reads the same characters
    {"yue-CN", "yue"},
    {"zh-CN", "cmn"},
    {"zh-CN-henan", "cmn"},
    {"zh-CN-shandong", "cmn"},
    {"zh-HK", "yue"},
    {"zh-TW", "cmn"},
    {"zu-ZA", "tn"}, // no Zulu: Setswana, Southern Bantu
}};

} // namespace

QList<Entry> entries()
{
    return {table.begin(), table.end()};
}

std::optional<QByteArray> voiceFor(QStringView locale)
{
    for (const Entry &entry : table) {
        if (locale.compare(QLatin1StringView(entry.locale), Qt::CaseInsensitive) == 0)
            return QByteArray(entry.voice);
    }
    return std::nullopt;
}

} // namespace voicetable
