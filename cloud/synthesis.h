#pragma once

#include <QByteArray>

// Speech synthesis: one SSML document in, bare 60-byte Opus packets out.
namespace tolka::cloud {

// Escapes &, <, >, ' and " for use in XML text and attribute values.
[[nodiscard]] QByteArray escapeXml(const QByteArray &text);

// The SSML document for one text, spoken in language with voice.
[[nodiscard]] QByteArray ssmlDocument(const QByteArray &language, const QByteArray &voice,
                                      const QByteArray &text);

inline constexpr qsizetype speechPacketBytes = 60;

// With TOLKA_SYNTHESIS_WHOLE_REPLY=1 the audio of each reply goes out whole
// on the hub's speechReady once it has all arrived, as it used to (for
// comparisons); otherwise in pieces of whole packets on speechPieceReady as
// it is read.
[[nodiscard]] bool wholeReplies();
void setWholeReplies(bool whole);

// Sends one synthesis request; its audio goes out on the hub.
void synthesize(const QByteArray &text, const QByteArray &voice);

} // namespace tolka::cloud
