#pragma once

#include <QByteArray>
#include <QJsonValue>
#include <QNetworkRequest>

#include <optional>

// Short-audio speech recognition of one Ogg Opus recording.
namespace tolka::cloud {

// Sends one recording in one source language ("BUSY", then "SPEECH").
// A failed request is resent with its own recording and language.
void recognizeShortAudio(const QByteArray &recording, const QByteArray &language);

// The short-audio request for a language, with its key (and the content
// length when it is known).
[[nodiscard]] QNetworkRequest recognitionRequestFor(const QByteArray &language,
                                                    std::optional<qint64> contentLength);

// The words of a reply ("DisplayText"); undefined when it has none.
[[nodiscard]] QJsonValue recognisedText(const QByteArray &answer);

// "SPEECH" with the words of a successful reply.
void showRecognised(const QByteArray &answer);

} // namespace tolka::cloud
