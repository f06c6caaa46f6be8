#include "speechaudio.h"

#include <opus.h>

#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

namespace speechaudio {

std::vector<qint16> decode(const QByteArray &packets)
{
    constexpr int packetBytes = 60;
    constexpr int frameSamples = 960;
    int error = 0;
    const std::unique_ptr<OpusDecoder, decltype(&opus_decoder_destroy)> decoder(
        opus_decoder_create(48000, 1, &error), &opus_decoder_destroy);
    if (!decoder)
        return {};
    std::vector<qint16> pcm;
    std::vector<opus_int16> frame(frameSamples);
    for (qsizetype at = 0; at + packetBytes <= packets.size(); at += packetBytes) {
        const int samples = opus_decode(decoder.get(), reinterpret_cast<const unsigned char *>(packets.constData() + at),
                                        packetBytes, frame.data(), frameSamples, 0);
        if (samples > 0)
            pcm.insert(pcm.end(), frame.begin(), frame.begin() + samples);
    }
    return pcm;
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
            const int substitution = previous[size_t(j - 1)] + (reference.at(i - 1) == hypothesis.at(j - 1) ? 0 : 1);
            current[size_t(j)] = std::min({substitution, previous[size_t(j)] + 1, current[size_t(j - 1)] + 1});
        }
        std::swap(previous, current);
    }
    return previous.back();
}

} // namespace speechaudio
