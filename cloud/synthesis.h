#pragma once

#include <QByteArray>

// Speech synthesis: one SSML document in, bare 60-byte Opus packets out.
namespace tolka::cloud {

// Escapes &, <, >, ' and " for use in XML text and attribute values.
[[nodiscard]] QByteArray escapeXml(const QByteArray &text);

// The SSML document for one text, spoken in language with voice.
[[nodiscard]] QByteArray ssmlDocument(const QByteArray &language, const QByteArray &voice,
                                      const QByteArray &text);

// Sends one synthesis request; its audio goes out on the hub's speechReady.
void synthesize(const QByteArray &text, const QByteArray &voice);

} // namespace tolka::cloud
