#include "translatorcodes.h"

#include "catalogue.h"
#include "documents.h"

#include <algorithm>
#include <string_view>

namespace tolka::catalogue {

QByteArray translatorCode(QByteArrayView locale)
{
    const std::string_view key(locale.data(), size_t(locale.size()));
    if (const StaticValue *code = translatorCodes.find(key)) {
        const std::string_view text = code->text();
        return QByteArray(text.data(), qsizetype(text.size()));
    }
    // Chinese names outside the 148 locales still name a script.
    if (zhHantCodes().contains(locale))
        return QByteArrayLiteral("zh-Hant");
    if (zhHansCodes().contains(locale))
        return QByteArrayLiteral("zh-Hans");
    return locale.toByteArray();
}

bool isTranslatorLanguage(QByteArrayView code)
{
    const auto members = translatorLanguages.members();
    return std::ranges::any_of(members, [code](const StaticMember &m) {
        const std::string_view text = m.key.text();
        return QByteArrayView(text.data(), qsizetype(text.size())).compare(code, Qt::CaseInsensitive) == 0;
    });
}

QByteArrayList translatorLanguageCodes()
{
    QByteArrayList out;
    out.reserve(qsizetype(translatorLanguages.size()));
    for (const StaticMember &m : translatorLanguages.members()) {
        const std::string_view text = m.key.text();
        out.append(QByteArray(text.data(), qsizetype(text.size())));
    }
    return out;
}

} // namespace tolka::catalogue
