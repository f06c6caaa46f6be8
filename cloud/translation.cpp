#include "translation.h"

#include "clientstate.h"
#include "frame.h"
#include "keys.h"

#include <QCoreApplication>
#include <QJsonValue>

#include <array>
#include <string_view>

namespace tolka::cloud {

QByteArray toTranslatorCode(const QByteArray &code)
{
    static constexpr std::array<std::string_view, 3> traditional{"zh-HK", "zh-TW", "cmn-Hant-TW"};
    static constexpr std::array<std::string_view, 10> simplified{
        "wuu-CN",         "yue-CN",        "zh-CN",          "zh-CN-GUANGXI", "zh-CN-henan",
        "zh-CN-liaoning", "zh-CN-shaanxi", "zh-CN-shandong", "zh-CN-sichuan", "cmn-Hans-CN"};
    const std::string_view view(code.constData(), size_t(code.size()));
    for (std::string_view c : traditional) {
        if (c == view)
            return QByteArrayLiteral("zh-Hant");
    }
    for (std::string_view c : simplified) {
        if (c == view)
            return QByteArrayLiteral("zh-Hans");
    }
    return code;
}

QByteArray escapeJsonText(const QByteArray &text)
{
    static constexpr char hex[] = "0123456789abcdef";
    QByteArray out;
    out.reserve(text.size() + 8);
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
        case '"':
            out.append("\\\"");
            break;
        case '\\':
            out.append("\\\\");
            break;
        case '\b':
            out.append("\\b");
            break;
        case '\f':
            out.append("\\f");
            break;
        case '\n':
            out.append("\\n");
            break;
        case '\r':
            out.append("\\r");
            break;
        case '\t':
            out.append("\\t");
            break;
        default:
            if (byte < 0x20) {
                out.append("\\u00");
                out.append(hex[byte >> 4]);
                out.append(hex[byte & 0xf]);
            } else {
                out.append(c);
            }
        }
    }
    return out;
}

QByteArray translationBody(const QByteArray &escapedText, const QByteArray &from, const QByteArray &to)
{
    static constexpr std::string_view p1 = R"([{"Text":")";
    static constexpr std::string_view p3 = R"(", "language": ")";
    static constexpr std::string_view p5 = R"(", "targets": [{ "language": ")";
    static constexpr std::string_view p7 = R"(" }]}])";
    QByteArray body;
    body.reserve(qsizetype(p1.size() + p3.size() + p5.size() + p7.size()) + escapedText.size() + from.size() +
                 to.size());
    body.append(p1).append(escapedText).append(p3).append(from).append(p5).append(to).append(p7);
    return body;
}

void translateText(const QByteArray &text)
{
    const ClientState &s = clientState();
    // Codes are fixed now; a language change during resends does not apply.
    translate(escapeJsonText(text), toTranslatorCode(s.sourceLanguage), toTranslatorCode(s.speechLanguage));
}

void translate(const QByteArray &escapedText, const QByteArray &from, const QByteArray &to)
{
    if (!admitRequest())
        return;
    ClientState &s = clientState();
    if (!s.restManager)
        return;
    s.translateRequest.setUrl(s.translateUrl);
    const QByteArray body = translationBody(escapedText, from, to);
    applyHeaders(s.translateRequest, body.size(),
                 translatorKey(s.useTranslatorBackupKey || s.failureCount != 0));
    s.restManager->post(
        s.translateRequest, body, QCoreApplication::instance(), [escapedText, from, to](QRestReply &reply) {
            ClientState &state = clientState();
            if (replySucceeded(reply)) {
                const QByteArray answer = reply.readBody();
                if (!answer.isEmpty()) {
                    const QJsonValue top = parseJson(answer);
                    sendMessage(
                        QStringLiteral("TRAD"),
                        QVariant::fromValue(top[0][QLatin1String("translations")][0][QLatin1String("text")]));
                }
                state.failureCount = 0;
            } else {
                state.useTranslatorBackupKey = true;
                logReplyError(reply);
                translate(escapedText, from, to);
            }
            releaseReply(reply);
        });
}

} // namespace tolka::cloud
