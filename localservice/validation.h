#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

#include <optional>
#include <variant>

class QHttpServerRequest;

// Checks a request the way the real services do; a failed check becomes an
// error reply with a JSON error body.
struct Rejection
{
    int status = 400;
    QByteArray body;
};

// Accepted subscription keys, each with a role name that logs may show.
struct KeyRing
{
    QHash<QByteArray, QString> translator;
    QHash<QByteArray, QString> speech;
    // The build's six keys.
    [[nodiscard]] static KeyRing buildKeys();
};

struct TranslationInput
{
    QString text;
    QString from;
    QString to;
};

struct RecognitionInput
{
    QByteArray audio;
    QString language;
};

struct SynthesisInput
{
    QString text;
    QString language;
    QString voice;
    double rate = 1.0; // of the prosody element around the text, relative to normal
};

// An SSML prosody rate ("0.80", "+10%", "80%", "slow", ...) as a factor of
// the normal rate; nothing when it is not one.
[[nodiscard]] std::optional<double> prosodyRate(QStringView value);

[[nodiscard]] Rejection rejection(int status, const QString &code, const QString &message);

// The role of the presented key, or a 401 rejection.
[[nodiscard]] std::variant<QString, Rejection> checkKey(const QHttpServerRequest &request,
                                                        const QHash<QByteArray, QString> &keys);

[[nodiscard]] std::variant<TranslationInput, Rejection> parseTranslation(const QHttpServerRequest &request);
[[nodiscard]] std::variant<RecognitionInput, Rejection> parseRecognition(const QHttpServerRequest &request);
[[nodiscard]] std::variant<SynthesisInput, Rejection> parseSynthesis(const QHttpServerRequest &request);
