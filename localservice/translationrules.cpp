// The translator's rules for a "/translate" request (api-version 2026-06-06):
// each refusal with the status and six-digit code the real service gives.
#include "validation.h"

#include "translatorcodes.h"

#include <QHttpServerRequest>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrlQuery>

namespace {

constexpr QLatin1StringView apiVersion("2026-06-06");
constexpr qsizetype maxInputs = 1000;
// Characters of all texts times their targets, per request.
constexpr qsizetype maxCharacters = 50000;

enum TranslatorCode : int
{
    inputTextInvalid = 400005,
    arrayElementInvalid = 400020,
    apiVersionInvalid = 400021,
    sourceLanguageInvalid = 400035,
    targetLanguageInvalid = 400036,
    inputTextTooLong = 400050,
    tooManyElements = 400072,
    bodyNotJson = 400074,
    contentTypeInvalid = 415000,
};

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

bool acceptedLanguage(const QJsonValue &value)
{
    return value.isString() && tolka::catalogue::isTranslatorLanguage(value.toString().toUtf8());
}

qsizetype characters(const QString &text)
{
    qsizetype count = 0;
    for (auto it = text.cbegin(); it != text.cend(); ++it) {
        if (!it->isLowSurrogate())
            ++count;
    }
    return count;
}

using ItemResult = std::variant<TranslationItem, Rejection>;

ItemResult parseItem(const QJsonValue &element)
{
    if (!element.isObject())
        return translatorRejection(400, arrayElementInvalid, QStringLiteral("An input is not an object."));
    const QJsonObject item = element.toObject();
    const QJsonValue text = item.value(QLatin1String("text"));
    if (!text.isString())
        return translatorRejection(400, inputTextInvalid,
                                   QStringLiteral("The input text is missing or invalid."));
    TranslationItem parsed{text.toString(), {}, {}};
    if (item.contains(QLatin1String("language"))) {
        const QJsonValue from = item.value(QLatin1String("language"));
        if (!acceptedLanguage(from))
            return translatorRejection(400, sourceLanguageInvalid,
                                       QStringLiteral("The source language is not valid."));
        parsed.from = from.toString();
    }
    const QJsonArray targets = item.value(QLatin1String("targets")).toArray();
    if (targets.isEmpty())
        return translatorRejection(400, targetLanguageInvalid,
                                   QStringLiteral("The target language is missing."));
    for (const QJsonValue &target : targets) {
        const QJsonValue to = target.toObject().value(QLatin1String("language"));
        if (!acceptedLanguage(to))
            return translatorRejection(400, targetLanguageInvalid,
                                       QStringLiteral("The target language is not valid."));
        parsed.targets.append(to.toString());
    }
    return parsed;
}

} // namespace

std::variant<TranslationInput, Rejection> parseTranslation(const QHttpServerRequest &request)
{
    if (request.query().queryItemValue(QStringLiteral("api-version")) != apiVersion)
        return translatorRejection(400, apiVersionInvalid,
                                   QStringLiteral("The API version parameter is missing or invalid."));
    if (!contentTypeOf(request).startsWith("application/json"))
        return translatorRejection(415, contentTypeInvalid,
                                   QStringLiteral("The Content-Type header is missing or invalid."));
    return parseTranslationBody(request.body());
}

std::variant<TranslationInput, Rejection> parseTranslationBody(const QByteArray &body)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError)
        return translatorRejection(
            400, bodyNotJson,
            QStringLiteral("The body of the request is not valid JSON: %1 at offset %2.")
                .arg(error.errorString())
                .arg(error.offset));
    if (hasRawControlInString(body))
        return translatorRejection(
            400, bodyNotJson,
            QStringLiteral("The body of the request is not valid JSON: unescaped control character."));
    const QJsonValue inputs = document.object().value(QLatin1String("inputs"));
    if (!document.isObject() || !inputs.isArray())
        return translatorRejection(400, bodyNotJson,
                                   QStringLiteral("The body must be an object with an \"inputs\" array."));
    const QJsonArray elements = inputs.toArray();
    if (elements.isEmpty())
        return translatorRejection(400, inputTextInvalid, QStringLiteral("The input text is missing."));
    if (elements.size() > maxInputs)
        return translatorRejection(400, tooManyElements,
                                   QStringLiteral("The inputs array has too many elements."));
    TranslationInput input;
    qsizetype total = 0;
    for (const QJsonValue &element : elements) {
        ItemResult item = parseItem(element);
        if (auto *rejected = std::get_if<Rejection>(&item))
            return std::move(*rejected);
        TranslationItem &parsed = std::get<TranslationItem>(item);
        total += characters(parsed.text) * parsed.targets.size();
        input.items.append(std::move(parsed));
    }
    if (total > maxCharacters)
        return translatorRejection(400, inputTextTooLong,
                                   QStringLiteral("The input text is too long: %1 characters counted across "
                                                  "all targets, at most %2.")
                                       .arg(total)
                                       .arg(maxCharacters));
    return input;
}
