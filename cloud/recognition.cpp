#include "recognition.h"

#include "clientstate.h"
#include "frame.h"

#include <QCoreApplication>
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
    applyHeaders(s.recognitionRequest, recording.size());
    sendMessage(QStringLiteral("BUSY"), true);
    s.restManager->post(s.recognitionRequest, recording, QCoreApplication::instance(),
                        [recording, language](QRestReply &reply) {
                            sendMessage(QStringLiteral("BUSY"), false);
                            if (replySucceeded(reply)) {
                                const QByteArray answer = reply.readBody();
                                if (!answer.isEmpty())
                                    sendMessage(
                                        QStringLiteral("SPEECH"),
                                        QVariant::fromValue(parseJson(answer)[QLatin1String("DisplayText")]));
                                clientState().failureCount = 0;
                            } else {
                                logReplyError(reply);
                                clientState().useSpeechBackupKey = true;
                                recognizeShortAudio(recording, language);
                            }
                            releaseReply(reply);
                        });
}

} // namespace tolka::cloud
