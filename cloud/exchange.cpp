#include "exchange.h"

#include "clientstate.h"
#include "cloudlogging.h"
#include "frame.h"
#include "quickconnections.h"
#include "serviceswitch.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QNetworkReply>
#include <QRestReply>
#include <QTimer>

#include <memory>

namespace tolka::cloud {

namespace {

bool &backupKeyFlag(Service service)
{
    ClientState &s = clientState();
    return service == Service::Translation ? s.useTranslatorBackupKey : s.useSpeechBackupKey;
}

Verdict verdictOf(Service service, QRestReply &reply, const QByteArray &body)
{
    const QNetworkReply *network = reply.networkReply();
    const QByteArray retryAfter = network ? network->rawHeader("Retry-After") : QByteArray();
    // The network reply's own error, as for a streamed reply: the REST reply
    // does not count a transfer that broke after a 2xx status, whose body
    // is then only a part.
    const QNetworkReply::NetworkError error = network ? network->error() : reply.error();
    return classifyReply(service, error, reply.httpStatus(), body, retryAfter);
}

// The request will not be sent again: its cycle ends as the gate ends one,
// with the counter restarted and the interface told why.
void stop(Service service, const Verdict &verdict)
{
    qCInfo(lcCloud).noquote() << serviceName(service)
                              << "request not resent:" << replyClassName(verdict.replyClass) << "status"
                              << verdict.status
                              << (verdict.code.isEmpty() ? QString()
                                                         : QStringLiteral("code ") + verdict.code);
    clientState().failureCount = 0;
    sendMessage(QStringLiteral("ERROR"), errorMessage(service, verdict));
}

void resendLater(const std::function<void()> &resend, std::chrono::milliseconds delay)
{
    if (delay.count() <= 0) {
        resend();
        return;
    }
    // Precise: a coarse timer may fire early, and the pause is the point.
    QTimer::singleShot(delay, Qt::PreciseTimer, QCoreApplication::instance(), resend);
}

void handleReply(const Exchange &exchange, QRestReply &reply)
{
    if (exchange.onReply)
        exchange.onReply();
    // Error bodies are read here too, so that their code can be classified;
    // logReplyError still finds them, as they are only peeked at.
    QNetworkReply *network = reply.networkReply();
    const QByteArray body = network ? network->peek(network->bytesAvailable()) : QByteArray();
    const Verdict verdict = verdictOf(exchange.service, reply, body);
    ClientState &s = clientState();
    switch (verdict.replyClass) {
    case ReplyClass::Success:
        if (!body.isEmpty())
            exchange.onSuccess(reply.readBody());
        s.failureCount = 0;
        break;
    case ReplyClass::NothingRecognised:
        // The service worked; the user said nothing it could hear.
        s.failureCount = 0;
        sendMessage(QStringLiteral("ERROR"), errorMessage(exchange.service, verdict));
        break;
    case ReplyClass::Transient:
        backupKeyFlag(exchange.service) = true;
        logReplyError(reply);
        resendLater(exchange.resend, resendDelay(verdict, s.failureCount));
        break;
    case ReplyClass::Throttled: {
        backupKeyFlag(exchange.service) = true;
        logReplyError(reply);
        const std::chrono::milliseconds wait = resendDelay(verdict, s.failureCount);
        // The user waits too: told for how long (the gate's warning follows
        // the last attempt instead).
        if (s.failureCount < maxSendsPerCycle) {
            QVariantMap message = errorMessage(exchange.service, verdict);
            message.insert(QStringLiteral("wait"), qint64(wait.count()));
            sendMessage(QStringLiteral("ERROR"), message);
        }
        resendLater(exchange.resend, wait);
        break;
    }
    case ReplyClass::KeyRejected:
        backupKeyFlag(exchange.service) = true;
        logReplyError(reply);
        if (exchange.otherKeyLeft)
            exchange.resend(); // with the backup key, at once: waiting would not help
        else
            stop(exchange.service, verdict);
        break;
    case ReplyClass::BadRequest:
        backupKeyFlag(exchange.service) = true;
        logReplyError(reply);
        stop(exchange.service, verdict);
        break;
    }
}

} // namespace

void post(Exchange exchange)
{
    ClientState &s = clientState();
    if (!s.restManager)
        return;
    // Rebuilt when sent later: the service may be somewhere else by then.
    if (!serviceReady(exchange.resend))
        return;
    if (exchange.onSend)
        exchange.onSend();
    const auto shared = std::make_shared<const Exchange>(std::move(exchange));
    quickenConnectionsTo(shared->request.url());
    qCDebug(lcCloud).noquote() << "sending" << serviceName(shared->service) << "request,"
                               << shared->body.size() << "bytes";
    QElapsedTimer sent;
    sent.start();
    QNetworkReply *network = s.restManager->post(
        shared->request, shared->body, QCoreApplication::instance(), [shared, sent](QRestReply &reply) {
            qCDebug(lcCloud).noquote() << serviceName(shared->service) << "answered" << reply.httpStatus()
                                       << "after" << sent.elapsed() << "ms";
            if (shared->stream && shared->stream->handedOn())
                shared->stream->finish(shared->service, reply);
            else
                handleReply(*shared, reply);
            releaseReply(reply);
        });
    quickenConnectionOf(network);
    if (shared->stream)
        shared->stream->watch(network);
}

QVariantMap errorMessage(Service service, const Verdict &verdict)
{
    return {{QStringLiteral("service"), serviceName(service)},
            {QStringLiteral("failure"), replyClassName(verdict.replyClass)},
            {QStringLiteral("status"), verdict.status},
            {QStringLiteral("code"), verdict.code}};
}

} // namespace tolka::cloud
