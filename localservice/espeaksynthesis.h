#pragma once

#include "engines.h"

#include <vector>

// Speaks with espeak-ng in the voice the locale table gives for the
// document's language, resampled to 24 kHz and encoded as the real
// service's bare 60-byte Opus packets. espeak-ng keeps global state, so
// requests are spoken one at a time (the other operations still run).
class EspeakSynthesis final : public SynthesisEngine
{
public:
    EngineResult<QByteArray> synthesize(const SpeechRequest &request, QDeadlineTimer deadline) override;

    // 24 kHz mono PCM of a text, before encoding; for tests and benchmarks.
    [[nodiscard]] EngineResult<std::vector<qint16>> speak(const SpeechRequest &request,
                                                          QDeadlineTimer deadline = QDeadlineTimer::Forever);
    // The same with an espeak-ng voice named directly ("en-us", "en-us+klatt").
    [[nodiscard]] EngineResult<std::vector<qint16>>
    speakWith(const QByteArray &voice, const QString &text, double rate,
              QDeadlineTimer deadline = QDeadlineTimer::Forever);
};
