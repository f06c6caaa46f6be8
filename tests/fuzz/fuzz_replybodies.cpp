// The client's reading of the words in a translation or recognition reply.
// Any bytes must give the text or nothing, never a crash; and whatever text
// the service puts where it belongs, among any other members, must come
// back exactly.
#include "fuzzcheck.h"
#include "recognition.h"
#include "translation.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include <cstddef>
#include <cstdint>

using namespace tolka::cloud;

namespace {

// Any bytes as a reply: a string, or undefined when the body is no reply.
void anyBody(const QByteArray &body)
{
    for (const QJsonValue &words : {translatedText(body), recognisedText(body)}) {
        if (!words.isUndefined())
            TOLKA_FUZZ_CHECK(!QJsonDocument::fromJson(body).isNull());
    }
}

// A reply as the services send it around the given words, with the bytes'
// other half as an extra member (its name kept apart from the services'
// own): the words come back unchanged.
void wellFormed(const QString &words, const QString &extra)
{
    const QJsonObject translation{{QStringLiteral("text"), words},
                                  {QStringLiteral("language"), QStringLiteral("fr")}};
    const QJsonObject item{{QStringLiteral("translations"), QJsonArray{translation}},
                           {QStringLiteral("detectedLanguage"), extra}};
    const QJsonObject translated{{QStringLiteral("value"), QJsonArray{item}},
                                 {QLatin1Char('_') + extra, extra}};
    const QByteArray translatedReply = QJsonDocument(translated).toJson(QJsonDocument::Compact);
    TOLKA_FUZZ_CHECK(translatedText(translatedReply).toString() == words);

    const QJsonObject recognised{{QStringLiteral("RecognitionStatus"), QStringLiteral("Success")},
                                 {QStringLiteral("DisplayText"), words},
                                 {QStringLiteral("Offset"), 0},
                                 {QLatin1Char('_') + extra, extra}};
    const QByteArray recognisedReply = QJsonDocument(recognised).toJson();
    TOLKA_FUZZ_CHECK(recognisedText(recognisedReply).toString() == words);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    anyBody(bytes);
    const QString text = QString::fromUtf8(bytes);
    qsizetype half = text.size() / 2;
    if (half < text.size() && text.at(half).isLowSurrogate())
        ++half; // a pair stays whole: a lone half is not text

    wellFormed(text.left(half), text.mid(half));
    return 0;
}
