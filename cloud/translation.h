#pragma once

#include <QByteArray>

// Translation requests to the translator's "/translate" endpoint.
namespace tolka::cloud {

// Chinese locale codes become the translator's script codes; others pass.
[[nodiscard]] QByteArray toTranslatorCode(const QByteArray &code);

// Escapes text for a JSON string: the quote, the backslash and every
// control character below U+0020.
[[nodiscard]] QByteArray escapeJsonText(const QByteArray &text);

// The request body for an already escaped text and mapped codes.
[[nodiscard]] QByteArray translationBody(const QByteArray &escapedText, const QByteArray &from,
                                         const QByteArray &to);

// Translates text from the source into the speech language ("TRAD").
void translateText(const QByteArray &text);

// Sends one request; also the resend of a failed one, with the same values.
void translate(const QByteArray &escapedText, const QByteArray &from, const QByteArray &to);

} // namespace tolka::cloud
