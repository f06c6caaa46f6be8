#include "speechaudio.h"

#include "espeaksynthesis.h"
#include "playbackstate.h"
#include "resampler.h"
#include "speechdecoder.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace speechaudio {

std::vector<qint16> decode(const QByteArray &packets)
{
    if (packets.isEmpty())
        return {};
    // The player's own decoding, into its speech buffer.
    decodeSpeech(packets);
    const QByteArray pcm = playbackState::instance().speech();
    std::vector<qint16> samples(size_t(pcm.size()) / sizeof(qint16));
    std::memcpy(samples.data(), pcm.constData(), samples.size() * sizeof(qint16));
    return samples;
}

std::vector<qint16> spokenEnglish(const QString &text, int sampleRate)
{
    const auto pcm24k = EspeakSynthesis().speakWith("en-us+klatt", text, 150.0 / 175.0);
    if (!pcm24k)
        return {};
    std::vector<float> samples(24000 * 3 / 10, 0.0f);
    samples.insert(samples.end(), pcm24k->begin(), pcm24k->end());
    samples.resize(samples.size() + 24000 * 3 / 10, 0.0f);
    std::vector<qint16> pcm;
    for (const float s : resample(samples, 24000, sampleRate))
        pcm.push_back(qint16(std::clamp(std::lround(s), -32768L, 32767L)));
    return pcm;
}

QByteArray spokenIntoMicrophone(const QString &text)
{
    std::vector<qint16> speech = spokenEnglish(text, 48000);
    for (qint16 &sample : speech)
        sample = qint16(std::lround(sample * 0.4));
    return QByteArray(reinterpret_cast<const char *>(speech.data()), qsizetype(speech.size() * 2));
}

double rmsDbfs(std::span<const qint16> pcm)
{
    if (pcm.empty())
        return -std::numeric_limits<double>::infinity();
    double sum = 0.0;
    for (const qint16 s : pcm)
        sum += double(s) * double(s);
    return 10.0 * std::log10(sum / double(pcm.size()) / (32768.0 * 32768.0));
}

QStringList words(const QString &text)
{
    static const QRegularExpression nonWord(QStringLiteral("[^\\w']+"));
    return text.toLower().split(nonWord, Qt::SkipEmptyParts);
}

int wordErrors(const QStringList &reference, const QStringList &hypothesis)
{
    // Levenshtein distance over words, one row at a time.
    std::vector<int> previous(size_t(hypothesis.size()) + 1);
    std::vector<int> current(previous.size());
    for (size_t j = 0; j < previous.size(); ++j)
        previous[j] = int(j);
    for (qsizetype i = 1; i <= reference.size(); ++i) {
        current[0] = int(i);
        for (qsizetype j = 1; j <= hypothesis.size(); ++j) {
            const int substitution =
                previous[size_t(j - 1)] + (reference.at(i - 1) == hypothesis.at(j - 1) ? 0 : 1);
            current[size_t(j)] =
                std::min({substitution, previous[size_t(j)] + 1, current[size_t(j - 1)] + 1});
        }
        std::swap(previous, current);
    }
    return previous.back();
}

} // namespace speechaudio
