// The speech service's rules for short-audio recognition and synthesis.
#include "validation.h"

#include "catalogue.h"
#include "oggopusprobe.h"

#include <QHttpHeaders>
#include <QHttpServerRequest>
#include <QUrlQuery>
#include <QXmlStreamReader>

namespace {

// Short-audio recognition takes at most this much audio.
constexpr qint64 maxRecognitionSeconds = 60;
constexpr qint64 samplesPerSecond = 48000;

Rejection speechRejection(int status, const QString &message)
{
    return rejection(status, QString::number(status), message);
}

} // namespace

std::variant<QString, Rejection> checkRecognitionHead(const QUrlQuery &query, const QHttpHeaders &headers)
{
    const QString profanity = query.queryItemValue(QStringLiteral("profanity"));
    if (query.queryItemValue(QStringLiteral("language")).isEmpty())
        return speechRejection(400, QStringLiteral("The language parameter is missing."));
    if (!profanity.isEmpty() && profanity != QLatin1String("raw") && profanity != QLatin1String("masked") &&
        profanity != QLatin1String("removed"))
        return speechRejection(400, QStringLiteral("Unknown profanity option."));
    const QByteArray type = contentTypeOf(headers).replace(" ", "");
    if (type != "audio/ogg;codecs=opus")
        return speechRejection(415, QStringLiteral("Unsupported audio format."));
    return query.queryItemValue(QStringLiteral("language"), QUrl::FullyDecoded);
}

std::variant<qint64, Rejection> checkRecognitionAudio(const QByteArray &audio)
{
    const std::variant<qint64, QString> probed = probeOggOpus(audio);
    if (const QString *why = std::get_if<QString>(&probed))
        return speechRejection(400, QStringLiteral("The audio cannot be read: %1.").arg(*why));
    const qint64 samples = std::get<qint64>(probed);
    if (samples > maxRecognitionSeconds * samplesPerSecond)
        return speechRejection(400, QStringLiteral("The audio is %1 s long; short-audio recognition takes "
                                                   "at most %2 s.")
                                        .arg(double(samples) / samplesPerSecond, 0, 'f', 2)
                                        .arg(maxRecognitionSeconds));
    return samples;
}

std::variant<RecognitionInput, Rejection> parseRecognition(const QHttpServerRequest &request)
{
    const auto language = checkRecognitionHead(request.query(), request.headers());
    if (const auto *rejected = std::get_if<Rejection>(&language))
        return *rejected;
    const QByteArray audio = request.body();
    const auto samples = checkRecognitionAudio(audio);
    if (const auto *rejected = std::get_if<Rejection>(&samples))
        return *rejected;
    return RecognitionInput{audio, std::get<QString>(language), std::get<qint64>(samples)};
}

std::variant<SynthesisInput, Rejection> parseSynthesis(const QHttpServerRequest &request)
{
    if (contentTypeOf(request) != "application/ssml+xml")
        return speechRejection(415, QStringLiteral("Content-Type must be application/ssml+xml."));
    if (request.headers().combinedValue("X-Microsoft-OutputFormat") != "audio-24khz-16bit-24kbps-mono-opus")
        return speechRejection(400, QStringLiteral("Unsupported output format."));
    return parseSynthesisDocument(request.body());
}

std::variant<SynthesisInput, Rejection> parseSynthesisDocument(const QByteArray &ssml)
{
    QXmlStreamReader xml(ssml);
    SynthesisInput input;
    bool sawSpeak = false;
    bool sawVoice = false;
    bool sawWords = false;
    std::optional<QString> unknownVoice;
    QList<double> rates{1.0}; // the rate in force, one level per open prosody element
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == QLatin1String("speak")) {
            const QXmlStreamAttributes attributes = xml.attributes();
            if (!attributes.hasAttribute(QStringLiteral("version")) ||
                !attributes.hasAttribute(QStringLiteral("xml:lang")))
                return speechRejection(400, QStringLiteral("The speak element needs version and xml:lang."));
            sawSpeak = true;
            input.language = attributes.value(QStringLiteral("xml:lang")).toString();
        } else if (xml.isStartElement() && xml.name() == QLatin1String("voice")) {
            sawVoice = true;
            input.voice = xml.attributes().value(QStringLiteral("name")).toString();
            if (!unknownVoice && !tolka::catalogue::isVoiceName(input.voice.toUtf8()))
                unknownVoice = input.voice;
        } else if (xml.isStartElement() && xml.name() == QLatin1String("prosody")) {
            const auto rate = prosodyRate(xml.attributes().value(QStringLiteral("rate")));
            rates.append(rate ? rates.constLast() * *rate : rates.constLast());
        } else if (xml.isEndElement() && xml.name() == QLatin1String("prosody") && rates.size() > 1) {
            rates.removeLast();
        } else if (xml.isCharacters()) {
            input.text += xml.text();
            // The document has one rate: that of its first words.
            if (!sawWords && !xml.isWhitespace()) {
                sawWords = true;
                input.rate = rates.constLast();
            }
        }
    }
    if (xml.hasError())
        return speechRejection(400, QStringLiteral("The SSML is not well-formed: %1 at line %2, column %3.")
                                        .arg(xml.errorString())
                                        .arg(xml.lineNumber())
                                        .arg(xml.columnNumber()));
    if (!sawSpeak || !sawVoice)
        return speechRejection(400, QStringLiteral("Expected a speak element with a voice."));
    if (unknownVoice)
        return speechRejection(400, QStringLiteral("Unknown voice name \"%1\".").arg(*unknownVoice));
    return input;
}
