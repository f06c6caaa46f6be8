#pragma once

#include <QByteArray>

#include <optional>
#include <vector>

// A whole Ogg Opus stream decoded to 48 kHz mono samples (channels mixed
// down, full scale 1.0). Nothing when the stream cannot be read.
[[nodiscard]] std::optional<std::vector<float>> decodeOggOpus(const QByteArray &stream);
