#pragma once

#include <QByteArray>

// The synthesis service's voice list (GET /cognitiveservices/voices/list):
// the catalogue's voices in the service's shape, one object per voice with
// Name, DisplayName, LocalName, ShortName, Locale, LocaleName and VoiceType.
[[nodiscard]] QByteArray voiceList();
