#include "translation.h"

#include "clientstate.h"
#include "exchange.h"
#include "frame.h"
#include "keys.h"
#include "translatorcodes.h"

#include <QHttpHeaders>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

namespace tolka::cloud {

QByteArray toTranslatorCode(const QByteArray &code)
{
    return catalogue::translatorCode(code);
}

QByteArray translationBody(const QByteArray &text, const QByteArray &from, const QByteArray &to)
{
    QJsonObject input{{QStringLiteral("text"), QString::fromUtf8(text)},
                      {QStringLiteral("targets"),
                       QJsonArray{QJsonObject{{QStringLiteral("language"), QString::fromUtf8(to)}}}}};
    if (!from.isEmpty())
        input.insert(QStringLiteral("language"), QString::fromUtf8(from));
    const QJsonObject body{{QStringLiteral("inputs"), QJsonArray{input}}};
    return QJsonDocument(body).toJson(QJsonDocument::Compact);
}

QJsonValue translatedText(const QByteArray &answer)
{
    return parseJson(
        answer)[QLatin1String("value")][0][QLatin1String("translations")][0][QLatin1String("text")];
}

QNetworkRequest translationRequest(qint64 bodyLength, bool backupKey)
{
    ClientState &s = clientState();
    s.translateRequest.setUrl(s.translateUrl);
    applyHeaders(s.translateRequest, bodyLength, translatorKey(backupKey));
    QHttpHeaders headers = s.translateRequest.headers();
    // A regional or multi-service resource refuses a key without its region.
    const QByteArray &region = s.credentials.translatorRegion;
    if (region.isEmpty())
        headers.removeAll("Ocp-Apim-Subscription-Region");
    else
        headers.replaceOrAppend("Ocp-Apim-Subscription-Region", region);
    s.translateRequest.setHeaders(headers);
    return s.translateRequest;
}

void translateText(const QByteArray &text)
{
    const ClientState &s = clientState();
    // Codes are fixed now; a language change during resends does not apply.
    translate(text, toTranslatorCode(s.sourceLanguage), toTranslatorCode(s.speechLanguage));
}

void translate(const QByteArray &text, const QByteArray &from, const QByteArray &to)
{
    if (!admitRequest())
        return;
    Exchange exchange;
    exchange.service = Service::Translation;
    exchange.body = translationBody(text, from, to);
    const bool backup = translatorBackupKeyDue();
    exchange.otherKeyLeft = !backup && hasTranslatorBackupKey();
    exchange.request = translationRequest(exchange.body.size(), backup);
    exchange.onSuccess = [](const QByteArray &answer) {
        sendMessage(QStringLiteral("TRAD"), QVariant::fromValue(translatedText(answer)));
    };
    exchange.resend = [text, from, to] { translate(text, from, to); };
    post(std::move(exchange));
}

} // namespace tolka::cloud
