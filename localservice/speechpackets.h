#pragma once

#include <QByteArray>

#include <span>

// The synthesis service's "audio-24khz-16bit-24kbps-mono-opus" output:
// 24 kHz mono PCM cut into 20 ms frames, each encoded at a constant
// 24 kbit/s, so every packet is exactly 60 bytes; packets are concatenated
// with no framing. The last frame is padded with silence.
namespace speechpackets {

inline constexpr int sampleRate = 24000;
inline constexpr int frameSamples = sampleRate / 50;
inline constexpr int packetBytes = 60;

// Empty when libopus fails (logged).
[[nodiscard]] QByteArray encode(std::span<const qint16> pcm24k);

} // namespace speechpackets
