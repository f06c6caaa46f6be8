#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <span>
#include <vector>

// Helpers of the offline tests: decoding and measuring speech, and the word
// error rate of a recognition.
namespace speechaudio {

// Bare 60-byte Opus packets to 48 kHz mono PCM, by the player's decoding
// (which also leaves them in its speech buffer).
[[nodiscard]] std::vector<qint16> decode(const QByteArray &packets);

// English spoken by espeak-ng's US English voice with its Klatt voicing
// (which the US English model recognises far better than the default one)
// at 150 words a minute, with 0.3 s of silence before and after as in a
// recording; mono PCM at `sampleRate`.
[[nodiscard]] std::vector<qint16> spokenEnglish(const QString &text, int sampleRate);

// spokenEnglish at 48 kHz as a microphone hands it on: 8 dB below full scale
// (recordings carry +8 dB of output gain, so louder input would clip when
// decoded), as raw S16LE bytes.
[[nodiscard]] QByteArray spokenIntoMicrophone(const QString &text);

// Root-mean-square level in dB of full scale; -inf for no samples.
[[nodiscard]] double rmsDbfs(std::span<const qint16> pcm);

// Lower-case words, punctuation other than apostrophes dropped.
[[nodiscard]] QStringList words(const QString &text);

// Word-level edit distance (substitutions, insertions, deletions).
[[nodiscard]] int wordErrors(const QStringList &reference, const QStringList &hypothesis);

} // namespace speechaudio
