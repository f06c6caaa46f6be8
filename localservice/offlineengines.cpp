#include "offlineengines.h"

#include "apertiumtranslation.h"
#include "cloudservice.h"
#include "espeaksynthesis.h"
#include "pocketsphinxrecognition.h"
#include "voicetable.h"

#include <cstdio>

namespace offlineengines {

void install(CloudService &service)
{
    service.setSynthesisEngine(std::make_shared<EspeakSynthesis>());
    service.setRecognitionEngine(std::make_shared<PocketsphinxRecognition>());
    service.setTranslationEngine(std::make_shared<ApertiumTranslation>());
}

void printCapabilities()
{
    std::printf("voices (locale: espeak-ng voice)\n");
    for (const voicetable::Entry &entry : voicetable::entries())
        std::printf("  %s: %s\n", entry.locale, entry.voice);
    std::printf("recognition: English locales (en-*), pocketsphinx US English model\n");
    std::printf("translation (from>to, through a pivot language where noted)\n");
    const ApertiumTranslation translation;
    for (const QString &pair : translation.pairs())
        std::printf("  %s\n", qPrintable(pair));
}

} // namespace offlineengines
