#include "pocketsphinxrecognition.h"

#include "oggopusdecoder.h"
#include "resampler.h"
#include "servicelogging.h"

#include <pocketsphinx.h>

#include <QRegularExpression>

#include <algorithm>
#include <cmath>

namespace {

constexpr int recogniserRate = PocketsphinxRecognition::recogniserRate;
constexpr qsizetype chunkSamples = recogniserRate / 4; // deadline checked between chunks
constexpr qint64 ticksPerFrame = 100'000;              // 10 ms frames in 100 ns units
// Below this peak (about -50 dBFS) a recording holds no speech.
constexpr int silencePeak = 100;

bool isFiller(const char *word)
{
    return !word || word[0] == '<' || word[0] == '[' || word[0] == '+' || qstrcmp(word, "(NULL)") == 0;
}

} // namespace

void PocketsphinxRecognition::DecoderDeleter::operator()(ps_decoder_s *decoder) const
{
    ps_free(decoder);
}

PocketsphinxRecognition::PocketsphinxRecognition() = default;
PocketsphinxRecognition::~PocketsphinxRecognition() = default;

bool PocketsphinxRecognition::coversLanguage(const QString &language)
{
    return language.compare(QLatin1String("en"), Qt::CaseInsensitive) == 0 ||
           language.startsWith(QLatin1String("en-"), Qt::CaseInsensitive);
}

QString PocketsphinxRecognition::displayText(const QString &words)
{
    QString text = words.simplified();
    if (text.isEmpty())
        return text;
    static const QRegularExpression pronoun(QStringLiteral("\\bi\\b"));
    text.replace(pronoun, QStringLiteral("I"));
    text[0] = text[0].toUpper();
    if (!text.back().isPunct())
        text.append(u'.');
    return text;
}

PocketsphinxRecognition::Decoder PocketsphinxRecognition::takeDecoder()
{
    {
        std::lock_guard lock(m_mutex);
        if (!m_idle.empty()) {
            Decoder decoder = std::move(m_idle.back());
            m_idle.pop_back();
            return decoder;
        }
        if (m_modelMissing)
            return nullptr;
    }
    ps_config_t *config = ps_config_init(nullptr);
    if (!config)
        return nullptr;
    ps_config_set_str(config, "loglevel", "FATAL");
    // Decoded speech can hold stretches of digital silence, which the
    // features do not take well; a little fixed-seed noise keeps results
    // repeatable.
    ps_config_set_bool(config, "dither", TRUE);
    ps_config_set_int(config, "seed", 1);
    ps_default_search_args(config);
    Decoder decoder(ps_init(config));
    ps_config_free(config);
    if (!decoder) {
        qCWarning(lcLocalService) << "pocketsphinx cannot load its US English model (pocketsphinx-en-us)";
        std::lock_guard lock(m_mutex);
        m_modelMissing = true;
    }
    return decoder;
}

void PocketsphinxRecognition::giveBack(Decoder decoder)
{
    std::lock_guard lock(m_mutex);
    m_idle.push_back(std::move(decoder));
}

EngineResult<Recognised> PocketsphinxRecognition::recognize(const QByteArray &oggOpus,
                                                            const QString &language, QDeadlineTimer deadline)
{
    const std::optional<std::vector<float>> audio = decodeOggOpus(oggOpus);
    if (!audio)
        return std::unexpected(EngineFailure{400, QStringLiteral("400"),
                                             QStringLiteral("The audio is not a readable Ogg Opus stream.")});
    if (!coversLanguage(language)) {
        qCDebug(lcLocalService) << "no offline recognition for" << language;
        return Recognised{};
    }
    return recognizePcm(toPcm16(resample(*audio, 48000, recogniserRate)), deadline);
}

EngineResult<Recognised> PocketsphinxRecognition::recognizePcm(std::span<const qint16> pcm16k,
                                                               QDeadlineTimer deadline)
{
    Utterance utterance(*this);
    for (size_t at = 0; at < pcm16k.size(); at += chunkSamples) {
        if (deadline.hasExpired())
            return std::unexpected(deadlinePassed());
        if (!utterance.process(pcm16k.subspan(at, std::min<size_t>(chunkSamples, pcm16k.size() - at))))
            break;
    }
    return utterance.end();
}

PocketsphinxRecognition::Utterance::Utterance(PocketsphinxRecognition &engine)
    : m_engine(engine), m_decoder(engine.takeDecoder())
{
    if (m_decoder)
        ps_start_utt(m_decoder.get());
}

PocketsphinxRecognition::Utterance::~Utterance()
{
    if (!m_decoder)
        return;
    ps_end_utt(m_decoder.get());
    m_engine.giveBack(std::move(m_decoder));
}

bool PocketsphinxRecognition::Utterance::process(std::span<const qint16> pcm16k)
{
    if (m_failed)
        return false;
    m_peak =
        std::ranges::fold_left(pcm16k, m_peak, [](int m, qint16 s) { return std::max(m, std::abs(int(s))); });
    if (!m_decoder || pcm16k.empty())
        return true;
    if (ps_process_raw(m_decoder.get(), pcm16k.data(), pcm16k.size(), FALSE, FALSE) < 0)
        m_failed = true;
    return !m_failed;
}

EngineResult<Recognised> PocketsphinxRecognition::Utterance::end()
{
    if (m_failed)
        return std::unexpected(
            EngineFailure{500, QStringLiteral("500"), QStringLiteral("The recogniser failed.")});
    if (!m_decoder || m_peak < silencePeak)
        return Recognised{};
    ps_end_utt(m_decoder.get());
    Recognised result;
    const char *hypothesis = ps_get_hyp(m_decoder.get(), nullptr);
    result.text = displayText(QString::fromUtf8(hypothesis ? hypothesis : ""));
    int first = -1;
    int last = -1;
    for (ps_seg_t *segment = ps_seg_iter(m_decoder.get()); segment; segment = ps_seg_next(segment)) {
        if (isFiller(ps_seg_word(segment)))
            continue;
        int start = 0;
        int end = 0;
        ps_seg_frames(segment, &start, &end);
        if (first < 0)
            first = start;
        last = end;
    }
    if (first >= 0) {
        result.offset = qint64(first) * ticksPerFrame;
        result.duration = qint64(last + 1 - first) * ticksPerFrame;
    }
    m_engine.giveBack(std::move(m_decoder));
    return result;
}
