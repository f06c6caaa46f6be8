#include "espeaksynthesis.h"

#include "resampler.h"
#include "servicelogging.h"
#include "speechpackets.h"
#include "voicetable.h"

#include <espeak-ng/speak_lib.h>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <vector>

namespace {

std::mutex espeakMutex; // guards every espeak-ng call

struct Collected
{
    std::vector<float> samples;
    QDeadlineTimer deadline;
    bool late = false;
};

int collect(short *wav, int count, espeak_EVENT *events)
{
    auto *sink = static_cast<Collected *>(events ? events->user_data : nullptr);
    if (!sink)
        return 0;
    if (sink->deadline.hasExpired()) {
        sink->late = true;
        return 1; // abort the synthesis
    }
    for (int i = 0; wav && i < count; ++i)
        sink->samples.push_back(float(wav[i]));
    return 0;
}

// The engine's output rate, or 0 when espeak-ng cannot start. Called with
// the mutex held; initialises once.
int espeakRate()
{
    static const int rate = [] {
        const int r = espeak_Initialize(AUDIO_OUTPUT_SYNCHRONOUS, 0, nullptr, espeakINITIALIZE_DONT_EXIT);
        if (r <= 0) {
            qCWarning(lcLocalService) << "espeak-ng cannot start: is espeak-ng-data installed?";
            return 0;
        }
        espeak_SetSynthCallback(&collect);
        return r;
    }();
    return rate;
}

// By voice or file name ("en-us", "en-us+klatt"), else by language ("fr-fr").
bool selectVoice(const QByteArray &name)
{
    if (espeak_SetVoiceByName(name.constData()) == EE_OK)
        return true;
    espeak_VOICE wanted{};
    wanted.languages = name.constData();
    return espeak_SetVoiceByProperties(&wanted) == EE_OK;
}

EngineFailure unknownLanguage(const QString &language)
{
    return {400, QStringLiteral("400"),
            QStringLiteral("Unsupported voice language \"%1\": no voice speaks it.").arg(language)};
}

} // namespace

EngineResult<std::vector<qint16>> EspeakSynthesis::speak(const SpeechRequest &request,
                                                         QDeadlineTimer deadline)
{
    const std::optional<QByteArray> voice = voicetable::voiceFor(request.language);
    if (!voice)
        return std::unexpected(unknownLanguage(request.language));
    return speakWith(*voice, request.text, request.rate, deadline);
}

EngineResult<std::vector<qint16>> EspeakSynthesis::speakWith(const QByteArray &voice, const QString &text,
                                                             double rate, QDeadlineTimer deadline)
{
    Collected sink;
    sink.deadline = deadline;
    int inputRate = 0;
    {
        std::lock_guard lock(espeakMutex);
        if (deadline.hasExpired())
            return std::unexpected(deadlinePassed());
        inputRate = espeakRate();
        if (inputRate == 0)
            return std::unexpected(EngineFailure{503, QStringLiteral("503"),
                                                 QStringLiteral("The voice engine is not available.")});
        if (!selectVoice(voice)) {
            qCWarning(lcLocalService) << "espeak-ng has no voice" << voice;
            return std::unexpected(unknownLanguage(QString::fromLatin1(voice)));
        }
        // Clamped before rounding: a document's nested rates multiply, and a
        // product beyond the range of long has no rounding.
        const double factor = std::isfinite(rate) ? rate : 1.0;
        const double wordsPerMinute =
            std::clamp(espeakRATE_NORMAL * factor, double(espeakRATE_MINIMUM), double(espeakRATE_MAXIMUM));
        espeak_SetParameter(espeakRATE, int(std::lround(wordsPerMinute)), 0);
        const QByteArray utf8 = text.toUtf8();
        const espeak_ERROR status = espeak_Synth(utf8.constData(), size_t(utf8.size()) + 1, 0, POS_CHARACTER,
                                                 0, espeakCHARS_UTF8, nullptr, &sink);
        if (status != EE_OK && !sink.late) {
            qCWarning(lcLocalService) << "espeak-ng failed on a text of" << utf8.size() << "bytes";
            return std::unexpected(
                EngineFailure{500, QStringLiteral("500"), QStringLiteral("The voice engine failed.")});
        }
    }
    if (sink.late)
        return std::unexpected(deadlinePassed());
    const std::vector<float> resampled = resample(sink.samples, inputRate, speechpackets::sampleRate);
    std::vector<qint16> pcm(resampled.size());
    std::ranges::transform(resampled, pcm.begin(),
                           [](float s) { return qint16(std::clamp(std::lround(s), -32768L, 32767L)); });
    return pcm;
}

EngineResult<QByteArray> EspeakSynthesis::synthesize(const SpeechRequest &request, QDeadlineTimer deadline)
{
    const auto pcm = speak(request, deadline);
    if (!pcm)
        return std::unexpected(pcm.error());
    if (deadline.hasExpired())
        return std::unexpected(deadlinePassed());
    const QByteArray packets = speechpackets::encode(*pcm);
    if (packets.isEmpty() && !pcm->empty())
        return std::unexpected(EngineFailure{500, QStringLiteral("500"), QStringLiteral("Encoding failed.")});
    return packets;
}
