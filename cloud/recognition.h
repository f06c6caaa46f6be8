#pragma once

#include <QByteArray>

// Short-audio speech recognition of one Ogg Opus recording.
namespace tolka::cloud {

// Sends one recording in one source language ("BUSY", then "SPEECH").
// A failed request is resent with its own recording and language.
void recognizeShortAudio(const QByteArray &recording, const QByteArray &language);

} // namespace tolka::cloud
