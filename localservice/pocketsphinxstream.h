#pragma once

#include "oggopusstream.h"
#include "pocketsphinxrecognition.h"

#include <memory>

// Recognition while the recording arrives: each piece is decoded, the
// samples that later audio can no longer change are converted to 16 kHz
// and given to the recogniser at once, so that at the end only the last
// few milliseconds remain. The recogniser hears exactly the samples it
// would hear from the whole recording.
class PocketsphinxStream final : public RecognitionStream
{
public:
    PocketsphinxStream(PocketsphinxRecognition &engine, QString language);

    void feed(QByteArrayView bytes) override;
    EngineResult<Recognised> finish(const QByteArray &whole, QDeadlineTimer deadline) override;

    // 16 kHz samples given to the recogniser so far.
    [[nodiscard]] size_t recognisedSamples() const { return m_given; }

private:
    void give(size_t end);

    PocketsphinxRecognition &m_engine;
    OggOpusStreamDecoder m_decoder;
    std::unique_ptr<PocketsphinxRecognition::Utterance> m_utterance;
    size_t m_given = 0;
    QString m_language;
    bool m_covered = false;
};
