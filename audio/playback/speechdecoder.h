#pragma once

#include <QByteArray>

#include <optional>

// Synthesis replies are bare 60-byte Opus packets (24 kbit/s, 20 ms each),
// decoded to 16-bit mono PCM at 48 kHz.
namespace speechDecoding {
inline constexpr qsizetype packetBytes = 60;
inline constexpr int maxFrameSamples = 1920;
inline constexpr int sampleRate = 48000;
} // namespace speechDecoding

// Decodes every whole packet of `reply`; packets that fail to decode are
// skipped, a trailing partial packet is ignored. Empty when the reply is empty
// or no decoder could be made. A reply that is mostly not Opus (see
// SpeechStream::refused) gives no samples; `refused`, if given, says so.
[[nodiscard]] std::optional<QByteArray> decodeOpusPackets(const QByteArray &reply, bool *refused = nullptr);

// Replaces the speech buffer with the decoded reply; an empty reply (or a
// decoder that cannot be made) leaves the previous speech in place. A refused
// reply empties it (the previous speech belongs to another text) and gives
// false.
bool decodeSpeech(const QByteArray &reply);
