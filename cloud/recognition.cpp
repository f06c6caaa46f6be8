#include "recognition.h"

#include "clientstate.h"
#include "exchange.h"
#include "frame.h"
#include "keys.h"

#include <QUrlQuery>

namespace tolka::cloud {

void recognizeShortAudio(const QByteArray &recording, const QByteArray &language)
{
    if (!admitRequest())
        return;
    ClientState &s = clientState();
    if (!s.restManager)
        return;
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("language"), QString::fromUtf8(language));
    query.addQueryItem(QStringLiteral("profanity"), QStringLiteral("raw"));
    s.recognitionUrl.setQuery(query);
    s.recognitionRequest.setUrl(s.recognitionUrl);
    Exchange exchange;
    exchange.service = Service::Recognition;
    exchange.otherKeyLeft = !speechBackupKeyDue() && hasSpeechBackupKey();
    applyHeaders(s.recognitionRequest, recording.size());
    exchange.request = s.recognitionRequest;
    exchange.body = recording;
    exchange.onSend = [] { sendMessage(QStringLiteral("BUSY"), true); };
    exchange.onReply = [] { sendMessage(QStringLiteral("BUSY"), false); };
    exchange.onSuccess = [](const QByteArray &answer) {
        sendMessage(QStringLiteral("SPEECH"),
                    QVariant::fromValue(parseJson(answer)[QLatin1String("DisplayText")]));
    };
    exchange.resend = [recording, language] { recognizeShortAudio(recording, language); };
    post(std::move(exchange));
}

} // namespace tolka::cloud
