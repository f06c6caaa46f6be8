#pragma once

#include <QByteArray>

// Speech synthesis: one SSML document in, bare 60-byte Opus packets out.
namespace tolka::cloud {

// Escapes &, <, >, ' and " for use in XML text and attribute values.
[[nodiscard]] QByteArray escapeXml(const QByteArray &text);

// The speaking rate, relative to the voice's normal one: what is asked for
// unless the user says otherwise, and the range kept to (the service takes
// more, but slower or faster than this is hard to follow).
inline constexpr double defaultSpeakingRate = 0.80;
inline constexpr double minimumSpeakingRate = 0.50;
inline constexpr double maximumSpeakingRate = 1.50;

// rate within the range; not a number is the default.
[[nodiscard]] double boundedSpeakingRate(double rate);
// The rate as the document writes it: bounded, with two decimals ("0.80").
[[nodiscard]] QByteArray speakingRateText(double rate);

// The SSML document for one text, spoken in language with voice at rate.
[[nodiscard]] QByteArray ssmlDocument(const QByteArray &language, const QByteArray &voice,
                                      const QByteArray &text, double rate = defaultSpeakingRate);

inline constexpr qsizetype speechPacketBytes = 60;

// With TOLKA_SYNTHESIS_WHOLE_REPLY=1 the audio of each reply goes out whole
// on the hub's speechReady once it has all arrived, as it used to (for
// comparisons); otherwise in pieces of whole packets on speechPieceReady as
// it is read.
[[nodiscard]] bool wholeReplies();
void setWholeReplies(bool whole);

// The engines that speak now, as the speech cache tells them apart:
// "cloud", or "local" for the stand-in at a local origin.
[[nodiscard]] QByteArray speechService();

// Sends one synthesis request at the current speaking rate; its audio goes
// out on the hub and, once it has come whole, into the cache of replies.
void synthesize(const QByteArray &text, const QByteArray &voice);

} // namespace tolka::cloud
