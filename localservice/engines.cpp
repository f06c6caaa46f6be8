#include "engines.h"

#include "speechpackets.h"

#include <array>
#include <cmath>
#include <numbers>

EngineFailure deadlinePassed()
{
    return {504, QStringLiteral("504"), QStringLiteral("The engine did not finish in time.")};
}

namespace {

class WholeRecordingStream final : public RecognitionStream
{
public:
    WholeRecordingStream(RecognitionEngine &engine, QString language)
        : m_engine(engine), m_language(std::move(language))
    {}
    void feed(QByteArrayView) override {}
    EngineResult<Recognised> finish(const QByteArray &whole, QDeadlineTimer deadline) override
    {
        return m_engine.recognize(whole, m_language, deadline);
    }

private:
    RecognitionEngine &m_engine;
    QString m_language;
};

} // namespace

std::unique_ptr<RecognitionStream> RecognitionEngine::startStream(const QString &language)
{
    return std::make_unique<WholeRecordingStream>(*this, language);
}

EngineResult<QString> EchoTranslation::translate(const QString &text, const QString &, const QString &,
                                                 QDeadlineTimer)
{
    return text;
}

EngineResult<Recognised> FixedRecognition::recognize(const QByteArray &, const QString &, QDeadlineTimer)
{
    return Recognised{QStringLiteral("Hello world."), 0, 0};
}

EngineResult<QByteArray> ToneSynthesis::synthesize(const SpeechRequest &, QDeadlineTimer)
{
    return tone();
}

QByteArray ToneSynthesis::tone()
{
    // 200 ms of a 440 Hz tone: ten packets.
    static const QByteArray packets = [] {
        std::array<qint16, speechpackets::sampleRate / 5> pcm{};
        for (size_t i = 0; i < pcm.size(); ++i) {
            const double t = double(i) / speechpackets::sampleRate;
            pcm[i] = qint16(8000.0 * std::sin(2.0 * std::numbers::pi * 440.0 * t));
        }
        return speechpackets::encode(pcm);
    }();
    return packets;
}
