#pragma once

#include "engines.h"

#include <QList>
#include <QString>

#include <memory>
#include <mutex>
#include <span>

struct ps_decoder_s;

// Recognises English speech with pocketsphinx and its US English model:
// the Ogg Opus recording is decoded, converted to 16 kHz and decoded in
// one utterance. Other languages, silence and a missing model give an empty
// result (the service answers "NoMatch"). Decoders are costly to create
// and not shareable, so idle ones are kept for the next request.
class PocketsphinxRecognition final : public RecognitionEngine
{
public:
    PocketsphinxRecognition();
    ~PocketsphinxRecognition() override;
    PocketsphinxRecognition(const PocketsphinxRecognition &) = delete;
    PocketsphinxRecognition &operator=(const PocketsphinxRecognition &) = delete;

    EngineResult<Recognised> recognize(const QByteArray &oggOpus, const QString &language,
                                       QDeadlineTimer deadline) override;

    // Decodes and recognises the recording while it arrives.
    std::unique_ptr<RecognitionStream> startStream(const QString &language) override;

    // Recognition of 16 kHz mono PCM, the step after decoding.
    [[nodiscard]] EngineResult<Recognised> recognizePcm(std::span<const qint16> pcm16k,
                                                        QDeadlineTimer deadline);

    static constexpr int recogniserRate = 16000;

    class Utterance;

    // True for the locales the model covers ("en-US", "en-GB", ...).
    [[nodiscard]] static bool coversLanguage(const QString &language);
    // The recogniser's words in the real service's form: capital first
    // letter, "I" as a word, final full stop.
    [[nodiscard]] static QString displayText(const QString &words);

private:
    friend class Utterance;
    struct DecoderDeleter
    {
        void operator()(ps_decoder_s *decoder) const;
    };
    using Decoder = std::unique_ptr<ps_decoder_s, DecoderDeleter>;
    [[nodiscard]] Decoder takeDecoder();
    void giveBack(Decoder decoder);

    std::mutex m_mutex;
    std::vector<Decoder> m_idle;
    bool m_modelMissing = false;
};

// One utterance on a decoder of the pool, fed 16 kHz samples in pieces.
class PocketsphinxRecognition::Utterance
{
public:
    explicit Utterance(PocketsphinxRecognition &engine);
    ~Utterance();
    Utterance(const Utterance &) = delete;
    Utterance &operator=(const Utterance &) = delete;

    // False when the recogniser failed (the utterance is then over).
    bool process(std::span<const qint16> pcm16k);
    // The words heard; empty for silence or without a model.
    [[nodiscard]] EngineResult<Recognised> end();

private:
    PocketsphinxRecognition &m_engine;
    Decoder m_decoder;
    int m_peak = 0;
    bool m_failed = false;
};
