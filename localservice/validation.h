#pragma once

#include <QByteArray>
#include <QHash>
#include <QJsonValue>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <variant>

class QHttpHeaders;
class QHttpServerRequest;
class QUrlQuery;

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
    // The role of any key of the ring (translator or speech), else empty.
    [[nodiscard]] QString roleOf(const QByteArray &key) const;
};

// One element of a translation's inputs: a text, its source language
// (empty: to be detected) and its target languages, in order.
struct TranslationItem
{
    QString text;
    QString from;
    QStringList targets;
};

struct TranslationInput
{
    QList<TranslationItem> items;
};

struct RecognitionInput
{
    QByteArray audio;
    QString language;
    qint64 samples = 0; // audio length at 48 kHz
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

// An error reply {"error":{"code","message"}}. The translator gives its
// six-digit codes as numbers, the speech services theirs as strings.
[[nodiscard]] Rejection rejection(int status, const QJsonValue &code, const QString &message);
[[nodiscard]] Rejection translatorRejection(int status, int code, const QString &message);

// The role of the presented speech key, or a 401 rejection.
[[nodiscard]] std::variant<QString, Rejection> checkSpeechKey(const QHttpServerRequest &request,
                                                              const KeyRing &keys);
[[nodiscard]] std::variant<QString, Rejection> checkSpeechKey(const QHttpHeaders &headers,
                                                              const KeyRing &keys);
// The role of the presented translator key, or a 401 rejection; with a
// region, the request must name it ("Ocp-Apim-Subscription-Region"), as a
// regional or multi-service resource demands.
[[nodiscard]] std::variant<QString, Rejection> checkTranslatorKey(const QHttpServerRequest &request,
                                                                  const KeyRing &keys, const QString &region);

// The request's Content-Type, trimmed and in lower case.
[[nodiscard]] QByteArray contentTypeOf(const QHttpServerRequest &request);
[[nodiscard]] QByteArray contentTypeOf(const QHttpHeaders &headers);

// The translator's request (translationrules.cpp), short-audio recognition
// and synthesis (speechrules.cpp), checked as the real services check them.
[[nodiscard]] std::variant<TranslationInput, Rejection> parseTranslation(const QHttpServerRequest &request);
[[nodiscard]] std::variant<RecognitionInput, Rejection> parseRecognition(const QHttpServerRequest &request);
[[nodiscard]] std::variant<SynthesisInput, Rejection> parseSynthesis(const QHttpServerRequest &request);
// Their checks of the body alone, once the query and the headers passed:
// the translator's JSON and the synthesis's SSML document.
[[nodiscard]] std::variant<TranslationInput, Rejection> parseTranslationBody(const QByteArray &body);
[[nodiscard]] std::variant<SynthesisInput, Rejection> parseSynthesisDocument(const QByteArray &ssml);
// The two halves of the recognition checks, for a request whose audio
// streams in: its query and headers (the language, or why not), and the
// whole audio once it is there (its length in 48 kHz samples, or why not).
[[nodiscard]] std::variant<QString, Rejection> checkRecognitionHead(const QUrlQuery &query,
                                                                    const QHttpHeaders &headers);
[[nodiscard]] std::variant<qint64, Rejection> checkRecognitionAudio(const QByteArray &audio);
