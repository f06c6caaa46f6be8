#include "recognition.h"

#include "clientstate.h"
#include "exchange.h"
#include "frame.h"
#include "keys.h"

#include <QHttpHeaders>
#include <QUrlQuery>

namespace tolka::cloud {

QNetworkRequest recognitionRequestFor(const QByteArray &language, std::optional<qint64> contentLength)
{
    ClientState &s = clientState();
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("language"), QString::fromUtf8(language));
    query.addQueryItem(QStringLiteral("profanity"), QStringLiteral("raw"));
    s.recognitionUrl.setQuery(query);
    s.recognitionRequest.setUrl(s.recognitionUrl);
    applyHeaders(s.recognitionRequest, contentLength);
    QNetworkRequest request = s.recognitionRequest;
    if (!contentLength)
        request.setHeaders([&] {
            QHttpHeaders headers = request.headers();
            headers.removeAll(QHttpHeaders::WellKnownHeader::ContentLength);
            return headers;
        }());
    return request;
}

QJsonValue recognisedText(const QByteArray &answer)
{
    return parseJson(answer)[QLatin1String("DisplayText")];
}

void showRecognised(const QByteArray &answer)
{
    sendMessage(QStringLiteral("SPEECH"), QVariant::fromValue(recognisedText(answer)));
}

void recognizeShortAudio(const QByteArray &recording, const QByteArray &language)
{
    if (!admitRequest())
        return;
    ClientState &s = clientState();
    if (!s.restManager)
        return;
    Exchange exchange;
    exchange.service = Service::Recognition;
    exchange.otherKeyLeft = !speechBackupKeyDue() && hasSpeechBackupKey();
    exchange.request = recognitionRequestFor(language, recording.size());
    exchange.body = recording;
    exchange.onSend = [] { sendMessage(QStringLiteral("BUSY"), true); };
    exchange.onReply = [] { sendMessage(QStringLiteral("BUSY"), false); };
    exchange.onSuccess = showRecognised;
    exchange.resend = [recording, language] { recognizeShortAudio(recording, language); };
    post(std::move(exchange));
}

} // namespace tolka::cloud
