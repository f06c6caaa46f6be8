#include "voicelist.h"

#include "documents.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

QString text(const tolka::StaticValue &value)
{
    const std::string_view view = value.text();
    return QString::fromUtf8(view.data(), qsizetype(view.size()));
}

} // namespace

QByteArray voiceList()
{
    static const QByteArray list = [] {
        QJsonArray voices;
        for (const tolka::StaticMember &locale : tolka::catalogue::voiceCatalogue.members()) {
            const QString code = text(locale.key);
            for (const tolka::StaticValue &voice : locale.value["voices"].elements()) {
                const QString shortName = text(voice["ShortName"]);
                // "fr-FR-DeniseNeural": the name between the locale and "Neural".
                const QString name = shortName.mid(code.size() + 1).chopped(6);
                voices.append(
                    QJsonObject{{QStringLiteral("Name"),
                                 QStringLiteral("Microsoft Server Speech Text to Speech Voice (%1, %2Neural)")
                                     .arg(code, name)},
                                {QStringLiteral("DisplayName"), name},
                                {QStringLiteral("LocalName"), text(voice["LocalName"])},
                                {QStringLiteral("ShortName"), shortName},
                                {QStringLiteral("Locale"), code},
                                {QStringLiteral("LocaleName"), text(locale.value["LocaleName"])},
                                {QStringLiteral("VoiceType"), QStringLiteral("Neural")}});
            }
        }
        return QJsonDocument(voices).toJson(QJsonDocument::Compact);
    }();
    return list;
}
