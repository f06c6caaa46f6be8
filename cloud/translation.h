#pragma once

#include <QByteArray>
#include <QJsonValue>
#include <QNetworkRequest>

// Translation requests to the translator's "/translate" endpoint.
namespace tolka::cloud {

// The translator's language code of a locale ("fr-FR" -> "fr").
[[nodiscard]] QByteArray toTranslatorCode(const QByteArray &code);

// The request body: one input, its text (UTF-8), source and one target. An
// empty source is left out, so that the translator detects the language.
[[nodiscard]] QByteArray translationBody(const QByteArray &text, const QByteArray &from,
                                         const QByteArray &to);

// The first translation's text of a reply; undefined when the reply has
// none where the translator puts it.
[[nodiscard]] QJsonValue translatedText(const QByteArray &answer);

// The translation request for a body of the given length, with the key
// chosen now and the region of the translator resource when one is set.
[[nodiscard]] QNetworkRequest translationRequest(qint64 bodyLength, bool backupKey);

// Translates text from the source into the speech language ("TRAD").
void translateText(const QByteArray &text);

// Sends one request; also the resend of a failed one, with the same values.
void translate(const QByteArray &text, const QByteArray &from, const QByteArray &to);

} // namespace tolka::cloud
