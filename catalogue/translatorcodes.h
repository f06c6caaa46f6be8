#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QByteArrayView>

// The translator's language codes: which one each speech locale goes out as,
// and which codes the translator accepts.
namespace tolka::catalogue {

// The translator code of a locale: "fr-FR" -> "fr", "pt-PT" -> "pt-PT",
// "sr-RS" -> "sr-Cyrl", "yue-CN" -> "zh-Hans". The catalogue's other Chinese
// names map to their script; any other code passes unchanged.
[[nodiscard]] QByteArray translatorCode(QByteArrayView locale);

// Whether the translator accepts code as a language. Language tags are
// case-insensitive, so "fr-ca" is accepted as "fr-CA".
[[nodiscard]] bool isTranslatorLanguage(QByteArrayView code);

// Every code the translator accepts, in stored order.
[[nodiscard]] QByteArrayList translatorLanguageCodes();

} // namespace tolka::catalogue
