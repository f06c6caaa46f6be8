#pragma once

#include <QByteArray>
#include <QString>

#include <variant>

// Opens an Ogg Opus stream with libopusfile as a decoder would, without
// decoding it: its length in 48 kHz samples, or why it cannot be read.
[[nodiscard]] std::variant<qint64, QString> probeOggOpus(const QByteArray &stream);
