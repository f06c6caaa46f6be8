// The local service's checks of what the real services refuse in a request:
// the translator's JSON body, the synthesis's SSML document, and the query
// and headers of a recognition. The first byte chooses which.
#include "fuzzcheck.h"
#include "translatorcodes.h"
#include "validation.h"

#include "catalogue.h"

#include <QByteArray>
#include <QHttpHeaders>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrlQuery>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <variant>

namespace {

// The translator's limits, as its documentation states them.
constexpr qsizetype mostInputs = 1000;
constexpr int firstTranslatorCode = 100000;
constexpr int lastTranslatorCode = 999999;

// A refusal is an error reply the client can read: a 4xx with
// {"error":{"code","message"}}, the code a number for the translator and a
// string for the speech services.
void checkRefusal(const Rejection &refused, bool translator)
{
    TOLKA_FUZZ_CHECK(refused.status >= 400 && refused.status < 500);
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(refused.body, &error);
    TOLKA_FUZZ_CHECK(error.error == QJsonParseError::NoError && document.isObject());
    const QJsonObject inner = document.object().value(QLatin1String("error")).toObject();
    TOLKA_FUZZ_CHECK(inner.value(QLatin1String("message")).isString());
    const QJsonValue code = inner.value(QLatin1String("code"));
    if (translator) {
        TOLKA_FUZZ_CHECK(code.isDouble());
        TOLKA_FUZZ_CHECK(code.toInt() >= firstTranslatorCode && code.toInt() <= lastTranslatorCode);
    } else {
        TOLKA_FUZZ_CHECK(code.isString() && !code.toString().isEmpty());
    }
}

void translation(const QByteArray &body)
{
    const auto checked = parseTranslationBody(body);
    if (const auto *refused = std::get_if<Rejection>(&checked)) {
        checkRefusal(*refused, true);
        return;
    }
    const TranslationInput &input = std::get<TranslationInput>(checked);
    TOLKA_FUZZ_CHECK(!input.items.isEmpty() && input.items.size() <= mostInputs);
    for (const TranslationItem &item : input.items) {
        TOLKA_FUZZ_CHECK(!item.targets.isEmpty());
        TOLKA_FUZZ_CHECK(item.from.isEmpty() || tolka::catalogue::isTranslatorLanguage(item.from.toUtf8()));
        for (const QString &target : item.targets)
            TOLKA_FUZZ_CHECK(tolka::catalogue::isTranslatorLanguage(target.toUtf8()));
    }
}

void synthesis(const QByteArray &ssml)
{
    const auto checked = parseSynthesisDocument(ssml);
    if (const auto *refused = std::get_if<Rejection>(&checked)) {
        checkRefusal(*refused, false);
        return;
    }
    const SynthesisInput &input = std::get<SynthesisInput>(checked);
    TOLKA_FUZZ_CHECK(tolka::catalogue::isVoiceName(input.voice.toUtf8()));
    TOLKA_FUZZ_CHECK(!std::isnan(input.rate) && input.rate >= 0);
}

// The first line is the query; each further line a header "name: value".
void recognitionHead(const QByteArray &bytes)
{
    const QList<QByteArray> lines = bytes.split('\n');
    const QUrlQuery query(QString::fromUtf8(lines.value(0)));
    QHttpHeaders headers;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines[i].indexOf(':');
        if (colon > 0)
            headers.append(lines[i].left(colon).trimmed(), lines[i].mid(colon + 1).trimmed());
    }
    const auto checked = checkRecognitionHead(query, headers);
    if (const auto *refused = std::get_if<Rejection>(&checked))
        checkRefusal(*refused, false);
    else
        TOLKA_FUZZ_CHECK(!std::get<QString>(checked).isEmpty());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    const QByteArray bytes(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    switch (data[0] % 3) {
    case 0:
        translation(bytes);
        break;
    case 1:
        synthesis(bytes);
        break;
    default:
        recognitionHead(bytes);
        break;
    }
    return 0;
}
