#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// What does the actual work behind the three operations. The protocol side
// (paths, keys, validation, replies) never changes when an engine does.

class TranslationEngine
{
public:
    virtual ~TranslationEngine() = default;
    [[nodiscard]] virtual QString translate(const QString &text, const QString &from, const QString &to) = 0;
};

class RecognitionEngine
{
public:
    virtual ~RecognitionEngine() = default;
    // The recognised text of an Ogg Opus recording; nothing when not understood.
    [[nodiscard]] virtual std::optional<QString> recognize(const QByteArray &oggOpus,
                                                           const QString &language) = 0;
};

class SynthesisEngine
{
public:
    virtual ~SynthesisEngine() = default;
    // Bare 60-byte Opus packets (24 kHz mono, 20 ms each).
    [[nodiscard]] virtual QByteArray synthesize(const QString &text, const QString &language,
                                                const QString &voice) = 0;
};

// Fixed engines: give replies of the real shape without doing any work.

// Returns the text unchanged, so a client can see it arrive intact.
class EchoTranslation final : public TranslationEngine
{
public:
    QString translate(const QString &text, const QString &from, const QString &to) override;
};

class FixedRecognition final : public RecognitionEngine
{
public:
    std::optional<QString> recognize(const QByteArray &oggOpus, const QString &language) override;
};

// A short tone encoded with libopus.
class ToneSynthesis final : public SynthesisEngine
{
public:
    QByteArray synthesize(const QString &text, const QString &language, const QString &voice) override;

private:
    QByteArray m_packets;
};
