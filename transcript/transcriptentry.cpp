#include "transcriptentry.h"

#include <array>

using namespace Qt::StringLiterals;

namespace tolka {

namespace {

const QString timeKey = u"time"_s;
const QString directionKey = u"direction"_s;
const QString sourceLanguageKey = u"sourceLanguage"_s;
const QString targetLanguageKey = u"targetLanguage"_s;
const QString sourceTextKey = u"sourceText"_s;
const QString translationKey = u"translation"_s;
const QString voiceKey = u"voice"_s;

std::expected<QString, QString> text(const QVariantMap &map, const QString &key)
{
    const auto it = map.constFind(key);
    if (it == map.cend())
        return std::unexpected(u"no \"%1\""_s.arg(key));
    if (it->typeId() != QMetaType::QString)
        return std::unexpected(
            u"\"%1\" is of type %2, not a string"_s.arg(key, QString::fromLatin1(it->typeName())));
    return it->toString();
}

std::expected<QDateTime, QString> timeOf(const QVariantMap &map)
{
    const auto it = map.constFind(timeKey);
    if (it != map.cend() && it->typeId() == QMetaType::QDateTime) {
        if (!it->toDateTime().isValid())
            return std::unexpected(u"\"time\" is an invalid date"_s);
        return it->toDateTime();
    }
    const auto iso = text(map, timeKey);
    if (!iso)
        return std::unexpected(iso.error());
    const QDateTime parsed = QDateTime::fromString(*iso, Qt::ISODateWithMs);
    if (!parsed.isValid())
        return std::unexpected(u"\"time\" is not an ISO 8601 time: \"%1\""_s.arg(*iso));
    return parsed;
}

} // namespace

QString isoUtc(const QDateTime &time)
{
    return time.toUTC().toString(Qt::ISODateWithMs);
}

QVariantMap TranscriptEntry::toMap() const
{
    return {{timeKey, isoUtc(time)},
            {directionKey, direction},
            {sourceLanguageKey, sourceLanguage},
            {targetLanguageKey, targetLanguage},
            {sourceTextKey, sourceText},
            {translationKey, translation},
            {voiceKey, voice}};
}

std::expected<TranscriptEntry, QString> TranscriptEntry::fromMap(const QVariantMap &map)
{
    TranscriptEntry entry;
    const auto when = timeOf(map);
    if (!when)
        return std::unexpected(when.error());
    entry.time = when->toUTC();

    const std::array<std::pair<const QString *, QString *>, 6> texts{{
        {&directionKey, &entry.direction},
        {&sourceLanguageKey, &entry.sourceLanguage},
        {&targetLanguageKey, &entry.targetLanguage},
        {&sourceTextKey, &entry.sourceText},
        {&translationKey, &entry.translation},
        {&voiceKey, &entry.voice},
    }};
    for (const auto &[key, member] : texts) {
        auto value = text(map, *key);
        if (!value)
            return std::unexpected(value.error());
        *member = std::move(*value);
    }
    if (entry.direction != "forward"_L1 && entry.direction != "backward"_L1)
        return std::unexpected(
            u"\"direction\" is \"%1\", not \"forward\" or \"backward\""_s.arg(entry.direction));
    if (entry.sourceLanguage.isEmpty() || entry.targetLanguage.isEmpty())
        return std::unexpected(u"a language is empty"_s);
    return entry;
}

} // namespace tolka
