#include "pocketsphinxstream.h"

#include "resampler.h"
#include "servicelogging.h"

namespace {
constexpr int captureRate = 48000;
constexpr int recogniserRate = PocketsphinxRecognition::recogniserRate;
} // namespace

PocketsphinxStream::PocketsphinxStream(PocketsphinxRecognition &engine, QString language)
    : m_engine(engine), m_language(std::move(language)),
      m_covered(PocketsphinxRecognition::coversLanguage(m_language))
{}

std::unique_ptr<RecognitionStream> PocketsphinxRecognition::startStream(const QString &language)
{
    if (!coversLanguage(language))
        qCDebug(lcLocalService) << "no offline recognition for" << language;
    return std::make_unique<PocketsphinxStream>(*this, language);
}

void PocketsphinxStream::feed(QByteArrayView bytes)
{
    if (!m_covered || !m_decoder.feed(bytes))
        return;
    give(settledOutputs(m_decoder.samples().size(), captureRate, recogniserRate));
}

void PocketsphinxStream::give(size_t end)
{
    if (end <= m_given)
        return;
    if (!m_utterance)
        m_utterance = std::make_unique<PocketsphinxRecognition::Utterance>(m_engine);
    const std::vector<float> piece =
        resampleRange(m_decoder.samples(), captureRate, recogniserRate, m_given, end);
    m_utterance->process(toPcm16(piece));
    m_given = end;
}

EngineResult<Recognised> PocketsphinxStream::finish(const QByteArray &whole, QDeadlineTimer deadline)
{
    if (!m_covered)
        return Recognised{};
    if (m_decoder.broken()) {
        // What the whole-recording reader makes of it decides.
        qCDebug(lcLocalService) << "streamed decoding failed; recognising the whole recording";
        m_utterance.reset();
        return m_engine.recognize(whole, m_language, deadline);
    }
    if (deadline.hasExpired())
        return std::unexpected(deadlinePassed());
    const size_t total = m_decoder.samples().size() * recogniserRate / captureRate;
    give(total);
    if (!m_utterance)
        return Recognised{};
    const EngineResult<Recognised> result = m_utterance->end();
    m_utterance.reset();
    return result;
}
