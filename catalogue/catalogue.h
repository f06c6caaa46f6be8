#pragma once

// The catalogue's rules for languages, voices, labels and helpers, throwing
// std::out_of_range ("Key not found", "Index out of range") or
// std::runtime_error ("Not a number"). `helper` wraps them for QML.

#include "helper.h"

namespace tolka::catalogue {

// Interface labels per language, ids 0 to labelCount - 1.
inline constexpr qsizetype labelCount = 96;

// The Chinese codes written in traditional and in simplified characters,
// which languageKey and translatorCode map to "zh-Hant" and "zh-Hans".
QByteArrayList zhHantCodes();
QByteArrayList zhHansCodes();
// The 148 supported locale codes, in stored (ascending byte) order.
QByteArrayList supportedCodes();
// The 79 interface language keys, in stored order.
QByteArrayList interfaceLanguages();

QByteArray languageKey(QByteArrayView code);
// The system locale code (a supported code, else "en-US") or its language.
QByteArray currentLang(bool languageOnly);
// languageKey(currentLang(false)).
QByteArray interfaceLanguage();

QByteArrayList baseModel();
QByteArray findLocaleValue(QByteArrayView name);
qsizetype findLocaleIndex(QByteArrayView code);
// The member count of the interface language's names entry.
qsizetype localeCount();
QByteArray baseLabel(qsizetype id);
QByteArray rawLabel(qsizetype id);
QVariantMap store(QByteArrayView productType);
QByteArrayList contributors();
QVariantMap extractVoices(QByteArrayView language);
// Whether shortName is the short name of one of the catalogue's voices.
bool isVoiceName(QByteArrayView shortName);
QByteArrayList sortHistory(QByteArrayList list, const QByteArray &text);
bool compare(const QByteArrayList &a, const QByteArrayList &b);
QvhList shadow(qsizetype elevation, qsizetype maxElevation);

// Number of table scans getShadow has made (for the cache test).
qsizetype shadowTableReads();

} // namespace tolka::catalogue
