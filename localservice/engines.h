#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDeadlineTimer>
#include <QString>

#include <expected>
#include <memory>

// What does the actual work behind the three operations. The protocol side
// (paths, keys, validation, replies) never changes when an engine does.
//
// Engines are called on worker threads, several at once, so each must be
// safe to call concurrently. Each call gets the deadline of its request and
// gives up (with status 504) when it has passed.

// A refusal the service turns into an error reply of the real shape.
struct EngineFailure
{
    int status = 400;
    QString code;
    QString message;
};

template <typename T> using EngineResult = std::expected<T, EngineFailure>;

[[nodiscard]] EngineFailure deadlinePassed();

struct SpeechRequest
{
    QString text;      // the words only, markup removed
    QString language;  // xml:lang of the document, e.g. "fr-FR"
    QString voice;     // the voice's short name
    double rate = 1.0; // speaking rate relative to the voice's normal one
};

// A recognised utterance. Offset and duration in 100-nanosecond units, as
// the real service counts them; an empty text means nothing was understood.
struct Recognised
{
    QString text;
    qint64 offset = 0;
    qint64 duration = 0;
};

class TranslationEngine
{
public:
    virtual ~TranslationEngine() = default;
    // from and to are the translator's codes ("en", "pt-PT", "zh-Hans", ...);
    // from is empty when the source language is to be detected.
    [[nodiscard]] virtual EngineResult<QString> translate(const QString &text, const QString &from,
                                                          const QString &to, QDeadlineTimer deadline) = 0;
};

// Recognition of a recording that is still arriving. feed and finish are
// called in order, on one thread at a time (not always the same one).
class RecognitionStream
{
public:
    virtual ~RecognitionStream() = default;
    // The next bytes of the Ogg Opus stream, cut anywhere.
    virtual void feed(QByteArrayView bytes) = 0;
    // The recording is complete (and checked): `whole` is every byte fed.
    [[nodiscard]] virtual EngineResult<Recognised> finish(const QByteArray &whole,
                                                          QDeadlineTimer deadline) = 0;
};

class RecognitionEngine
{
public:
    virtual ~RecognitionEngine() = default;
    [[nodiscard]] virtual EngineResult<Recognised>
    recognize(const QByteArray &oggOpus, const QString &language, QDeadlineTimer deadline) = 0;
    // A stream for one recording. The default waits for the whole
    // recording and recognises it then.
    [[nodiscard]] virtual std::unique_ptr<RecognitionStream> startStream(const QString &language);
};

class SynthesisEngine
{
public:
    virtual ~SynthesisEngine() = default;
    // Bare 60-byte Opus packets (24 kHz mono, 20 ms each).
    [[nodiscard]] virtual EngineResult<QByteArray> synthesize(const SpeechRequest &request,
                                                              QDeadlineTimer deadline) = 0;
};

// Fixed engines: give replies of the real shape without doing any work.

// Returns the text unchanged, so a client can see it arrive intact.
class EchoTranslation final : public TranslationEngine
{
public:
    EngineResult<QString> translate(const QString &text, const QString &from, const QString &to,
                                    QDeadlineTimer deadline) override;
};

class FixedRecognition final : public RecognitionEngine
{
public:
    EngineResult<Recognised> recognize(const QByteArray &oggOpus, const QString &language,
                                       QDeadlineTimer deadline) override;
};

// A short tone encoded with libopus.
class ToneSynthesis final : public SynthesisEngine
{
public:
    EngineResult<QByteArray> synthesize(const SpeechRequest &request, QDeadlineTimer deadline) override;
    // The packets every request gets.
    [[nodiscard]] static QByteArray tone();
};
