#pragma once

#include <QDateTime>
#include <QString>
#include <QVariantMap>

#include <expected>

namespace tolka {

// One exchange of the conversation: an utterance or a typed text and its
// translation. As a map (QML, the files on disk) its keys are the member
// names, the time an ISO 8601 string in UTC with milliseconds.
struct TranscriptEntry
{
    QDateTime time;
    // "forward" (the first language to the second) or "backward".
    QString direction;
    // Locale codes such as "en-US".
    QString sourceLanguage;
    QString targetLanguage;
    QString sourceText;
    QString translation;
    // The synthesis voice's short name; empty when the translation was not spoken.
    QString voice;

    [[nodiscard]] QVariantMap toMap() const;
    // The entry a map describes, or why it is refused: a missing key, a value
    // of the wrong type, an invalid time or an unknown direction. The time may
    // also be given as a date (a JavaScript Date arrives as one).
    [[nodiscard]] static std::expected<TranscriptEntry, QString> fromMap(const QVariantMap &map);

    friend bool operator==(const TranscriptEntry &, const TranscriptEntry &) = default;
};

// "2026-12-09T10:15:02.123Z".
[[nodiscard]] QString isoUtc(const QDateTime &time);

} // namespace tolka
