#pragma once

#include <QByteArray>

class ApertiumTranslation;
class CloudService;

// The real engines behind the local service: espeak-ng, pocketsphinx and
// apertium, as installed on this machine.
namespace offlineengines {

// Gives the service the three offline engines and the report of what they
// can do.
void install(CloudService &service);

// What the engines can do, as the application reads it:
// {"recognition": [locales], "synthesis": [locales],
//  "translation": [["en", "es"], ...]} with translation directions between
// languages (ISO 639-1), through a pivot where needed.
[[nodiscard]] QByteArray capabilities(const ApertiumTranslation &translation);

// What this machine can do offline, one line per locale voice and per
// translation direction, for people choosing languages.
void printCapabilities();

} // namespace offlineengines
