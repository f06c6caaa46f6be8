#pragma once

#include <QByteArray>
#include <QList>
#include <QStringView>

#include <optional>

// Which espeak-ng voice speaks each of the application's locales offline.
namespace voicetable {

struct Entry
{
    const char *locale; // the application's locale code, e.g. "fr-FR"
    const char *voice;  // espeak-ng voice name, e.g. "fr-fr"
};

// All locales of the voice catalogue, in its order.
[[nodiscard]] QList<Entry> entries();

// The espeak-ng voice for a locale code (ASCII case ignored); nothing for a
// code that is not one of the application's locales.
[[nodiscard]] std::optional<QByteArray> voiceFor(QStringView locale);

} // namespace voicetable
