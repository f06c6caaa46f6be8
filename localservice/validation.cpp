#include "validation.h"

#include "cloudconfig.h"

#include <QHttpHeaders>
#include <QHttpServerRequest>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrlQuery>
#include <QXmlStreamReader>

#include <cmath>

namespace config = tolka::cloud::config;

KeyRing KeyRing::buildKeys()
{
    KeyRing ring;
    ring.translator.insert(config::translatorKey, QStringLiteral("translator-primary"));
    ring.translator.insert(config::translatorBackupKey, QStringLiteral("translator-backup"));
    ring.speech.insert(config::speechKeyWestEurope, QStringLiteral("westeurope-primary"));
    ring.speech.insert(config::speechBackupKeyWestEurope, QStringLiteral("westeurope-backup"));
    ring.speech.insert(config::speechKeyEastUs, QStringLiteral("eastus-primary"));
    ring.speech.insert(config::speechBackupKeyEastUs, QStringLiteral("eastus-backup"));
    return ring;
}

Rejection rejection(int status, const QString &code, const QString &message)
{
    const QJsonObject error{{QStringLiteral("code"), code}, {QStringLiteral("message"), message}};
    return {status,
            QJsonDocument(QJsonObject{{QStringLiteral("error"), error}}).toJson(QJsonDocument::Compact)};
}

std::variant<QString, Rejection> checkKey(const QHttpServerRequest &request,
                                          const QHash<QByteArray, QString> &keys)
{
    // Repeated headers combine into one value, which matches no key.
    const QByteArray key = request.headers().combinedValue("Ocp-Apim-Subscription-Key");
    const auto it = keys.constFind(key);
    if (key.isEmpty() || it == keys.cend())
        return rejection(
            401, QStringLiteral("401"),
            QStringLiteral("Access denied due to invalid subscription key or wrong API endpoint."));
    return *it;
}

namespace {

QByteArray contentType(const QHttpServerRequest &request)
{
    return request.headers().combinedValue(QHttpHeaders::WellKnownHeader::ContentType).trimmed().toLower();
}

// Raw control characters inside a string are not JSON, even where a lenient
// parser takes them.
bool hasRawControlInString(const QByteArray &json)
{
    bool inString = false;
    bool escaped = false;
    for (const char c : json) {
        if (!inString) {
            inString = c == '"';
            continue;
        }
        if (static_cast<unsigned char>(c) < 0x20)
            return true;
        if (escaped)
            escaped = false;
        else if (c == '\\')
            escaped = true;
        else if (c == '"')
            inString = false;
    }
    return false;
}

QString stringMember(const QJsonObject &object, const QString &name, bool *ok)
{
    const QJsonValue value = object.value(name);
    if (!value.isString())
        *ok = false;
    return value.toString();
}

} // namespace

std::variant<TranslationInput, Rejection> parseTranslation(const QHttpServerRequest &request)
{
    if (request.query().queryItemValue(QStringLiteral("api-version")).isEmpty())
        return rejection(400, QStringLiteral("400021"),
                         QStringLiteral("The API version parameter is missing."));
    if (!contentType(request).startsWith("application/json"))
        return rejection(415, QStringLiteral("415000"),
                         QStringLiteral("The Content-Type header is invalid."));
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(request.body(), &error);
    if (error.error == QJsonParseError::NoError && hasRawControlInString(request.body()))
        return rejection(
            400, QStringLiteral("400074"),
            QStringLiteral("The body of the request is not valid JSON: unescaped control character."));
    if (error.error != QJsonParseError::NoError)
        return rejection(400, QStringLiteral("400074"),
                         QStringLiteral("The body of the request is not valid JSON: %1 at offset %2.")
                             .arg(error.errorString())
                             .arg(error.offset));
    const QJsonArray items = document.array();
    const QJsonObject item = items.at(0).toObject();
    const QJsonArray targets = item.value(QStringLiteral("targets")).toArray();
    bool ok = document.isArray() && items.size() == 1 && !targets.isEmpty();
    TranslationInput input;
    input.text = stringMember(item, QStringLiteral("Text"), &ok);
    input.from = stringMember(item, QStringLiteral("language"), &ok);
    input.to = stringMember(targets.at(0).toObject(), QStringLiteral("language"), &ok);
    if (!ok || input.to.isEmpty())
        return rejection(
            400, QStringLiteral("400000"),
            QStringLiteral("Expected [{\"Text\", \"language\", \"targets\": [{\"language\"}]}]."));
    return input;
}

std::variant<RecognitionInput, Rejection> parseRecognition(const QHttpServerRequest &request)
{
    const QUrlQuery query = request.query();
    const QString profanity = query.queryItemValue(QStringLiteral("profanity"));
    if (query.queryItemValue(QStringLiteral("language")).isEmpty())
        return rejection(400, QStringLiteral("400"), QStringLiteral("The language parameter is missing."));
    if (!profanity.isEmpty() && profanity != QLatin1String("raw") && profanity != QLatin1String("masked") &&
        profanity != QLatin1String("removed"))
        return rejection(400, QStringLiteral("400"), QStringLiteral("Unknown profanity option."));
    const QByteArray type = contentType(request).replace(" ", "");
    if (type != "audio/ogg;codecs=opus")
        return rejection(415, QStringLiteral("415"), QStringLiteral("Unsupported audio format."));
    const QByteArray audio = request.body();
    if (!audio.startsWith("OggS"))
        return rejection(400, QStringLiteral("400"), QStringLiteral("The body is not an Ogg stream."));
    return RecognitionInput{audio, query.queryItemValue(QStringLiteral("language"), QUrl::FullyDecoded)};
}

std::variant<SynthesisInput, Rejection> parseSynthesis(const QHttpServerRequest &request)
{
    if (contentType(request) != "application/ssml+xml")
        return rejection(415, QStringLiteral("415"),
                         QStringLiteral("Content-Type must be application/ssml+xml."));
    if (request.headers().combinedValue("X-Microsoft-OutputFormat") != "audio-24khz-16bit-24kbps-mono-opus")
        return rejection(400, QStringLiteral("400"), QStringLiteral("Unsupported output format."));
    QXmlStreamReader xml(request.body());
    SynthesisInput input;
    bool sawSpeak = false;
    bool sawVoice = false;
    bool sawWords = false;
    QList<double> rates{1.0}; // the rate in force, one level per open prosody element
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == QLatin1String("speak")) {
            sawSpeak = true;
            input.language = xml.attributes().value(QStringLiteral("xml:lang")).toString();
        } else if (xml.isStartElement() && xml.name() == QLatin1String("voice")) {
            sawVoice = true;
            input.voice = xml.attributes().value(QStringLiteral("name")).toString();
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
        return rejection(400, QStringLiteral("400"),
                         QStringLiteral("The SSML is not well-formed: %1 at line %2, column %3.")
                             .arg(xml.errorString())
                             .arg(xml.lineNumber())
                             .arg(xml.columnNumber()));
    if (!sawSpeak || !sawVoice)
        return rejection(400, QStringLiteral("400"),
                         QStringLiteral("Expected a speak element with a voice."));
    return input;
}

std::optional<double> prosodyRate(QStringView value)
{
    const QStringView v = value.trimmed();
    static const std::pair<QLatin1StringView, double> named[] = {
        {QLatin1StringView("x-slow"), 0.5}, {QLatin1StringView("slow"), 0.64},
        {QLatin1StringView("medium"), 1.0}, {QLatin1StringView("default"), 1.0},
        {QLatin1StringView("fast"), 1.55},  {QLatin1StringView("x-fast"), 2.0}};
    for (const auto &[name, factor] : named) {
        if (v.compare(name, Qt::CaseInsensitive) == 0)
            return factor;
    }
    bool ok = false;
    double factor = 0.0;
    if (v.endsWith(u'%')) {
        const QStringView number = v.chopped(1);
        const double percent = number.toDouble(&ok);
        // A signed percentage is a change; an unsigned one, a share of normal.
        const bool relative = number.startsWith(u'+') || number.startsWith(u'-');
        factor = relative ? 1.0 + percent / 100.0 : percent / 100.0;
    } else {
        factor = v.toDouble(&ok);
    }
    if (!ok || !std::isfinite(factor) || factor <= 0.0)
        return std::nullopt;
    return factor;
}
