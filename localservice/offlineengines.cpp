#include "offlineengines.h"

#include "apertiumtranslation.h"
#include "cloudservice.h"
#include "espeaksynthesis.h"
#include "pocketsphinxrecognition.h"
#include "voicetable.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>

namespace offlineengines {

void install(CloudService &service)
{
    auto translation = std::make_shared<ApertiumTranslation>();
    service.setCapabilities(capabilities(*translation));
    service.setSynthesisEngine(std::make_shared<EspeakSynthesis>());
    service.setRecognitionEngine(std::make_shared<PocketsphinxRecognition>());
    service.setTranslationEngine(std::move(translation));
}

QByteArray capabilities(const ApertiumTranslation &translation)
{
    QJsonArray recognition;
    QJsonArray synthesis;
    for (const voicetable::Entry &entry : voicetable::entries()) {
        const QString locale = QString::fromLatin1(entry.locale);
        synthesis.append(locale);
        if (PocketsphinxRecognition::coversLanguage(locale))
            recognition.append(locale);
    }
    QJsonArray directions;
    for (const QString &pair : translation.pairs()) {
        // "from>to" or "from>to via pivot"
        const QStringList languages = pair.section(u' ', 0, 0).split(u'>');
        if (languages.size() == 2)
            directions.append(QJsonArray{languages.at(0), languages.at(1)});
    }
    const QJsonObject report{{QStringLiteral("recognition"), recognition},
                             {QStringLiteral("synthesis"), synthesis},
                             {QStringLiteral("translation"), directions}};
    return QJsonDocument(report).toJson(QJsonDocument::Compact);
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
