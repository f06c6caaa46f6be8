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

Verdict verdictOf(Service service, QRestReply &reply, const QByteArray &body, bool oversized)
{
    const QNetworkReply *network = reply.networkReply();
    if (oversized)
        return {ReplyClass::TooLarge, reply.httpStatus(), {}, {}};
    const QByteArray retryAfter = network ? network->rawHeader("Retry-After") : QByteArray();
    // The network reply's own error, as for a streamed reply: the REST reply
    // does not count a transfer that broke after a 2xx status, whose body
    // is then only a part.
    const QNetworkReply::NetworkError error = network ? network->error() : reply.error();
    const Verdict verdict = classifyReply(service, error, reply.httpStatus(), body, retryAfter);
    if (!network)
        return verdict;
    const QVariant length = network->header(QNetworkRequest::ContentLengthHeader);
    return checkedSuccess(service, verdict, network->rawHeader("Content-Type"),
                          length.isValid() ? std::optional(length.toLongLong()) : std::nullopt, body.size());
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

// Aborts a reply that says or turns out to be larger than the service's
// bound, before it is read to the end.
void limitReplySize(QNetworkReply *network, Service service, const std::shared_ptr<bool> &oversized)
{
    if (!network)
        return;
    const qint64 limit = maxReplyBytes(service);
    QObject::connect(network, &QNetworkReply::downloadProgress, network,
                     [network, limit, oversized, service](qint64 received, qint64 total) {
                         if (*oversized || (received <= limit && total <= limit))
                             return;
                         qCInfo(lcCloud).noquote()
                             << serviceName(service) << "reply over" << limit << "bytes; given up";
                         *oversized = true;
                         network->abort();
                     });
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

void handleReply(const Exchange &exchange, QRestReply &reply, bool oversized)
{
    if (exchange.onReply)
        exchange.onReply();
    // Error bodies are read here too, so that their code can be classified;
    // logReplyError still finds them, as they are only peeked at.
    QNetworkReply *network = reply.networkReply();
    const QByteArray body = peekBody(network);
    const Verdict verdict = verdictOf(exchange.service, reply, body, oversized);
    ClientState &s = clientState();
    switch (verdict.replyClass) {
    case ReplyClass::Success:
        if (!body.isEmpty())
            exchange.onSuccess(reply.readBody());
        s.failureCount = 0;
        return;
    case ReplyClass::NothingRecognised:
        // The service worked; the user said nothing it could hear.
        s.failureCount = 0;
        sendMessage(QStringLiteral("ERROR"), errorMessage(exchange.service, verdict));
        return;
    default:
        break;
    }
    backupKeyFlag(exchange.service) = true;
    logReplyError(reply);
    afterFailure(exchange.service, verdict, exchange.otherKeyLeft, exchange.resend);
}

} // namespace

void afterFailure(Service service, const Verdict &verdict, bool otherKeyLeft,
                  const std::function<void()> &resend)
{
    const ClientState &s = clientState();
    switch (verdict.replyClass) {
    case ReplyClass::Success:
    case ReplyClass::NothingRecognised:
        return;
    case ReplyClass::Transient:
        resendLater(resend, resendDelay(verdict, s.failureCount));
        return;
    case ReplyClass::Throttled: {
        const std::chrono::milliseconds wait = resendDelay(verdict, s.failureCount);
        // The user waits too: told for how long (the gate's warning follows
        // the last attempt instead).
        if (s.failureCount < maxSendsPerCycle) {
            QVariantMap message = errorMessage(service, verdict);
            message.insert(QStringLiteral("wait"), qint64(wait.count()));
            sendMessage(QStringLiteral("ERROR"), message);
        }
        resendLater(resend, wait);
        return;
    }
    case ReplyClass::KeyRejected:
        if (otherKeyLeft)
            resend(); // with the backup key, at once: waiting would not help
        else
            stop(service, verdict);
        return;
    case ReplyClass::BadRequest:
    case ReplyClass::TooLarge:
        // The same request would get the same answer.
        stop(service, verdict);
        return;
    }
}

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
    const auto oversized = std::make_shared<bool>(false);
    // The reply itself is the callback's context. The rest manager's
    // callback form ties a connection to its context object per request,
    // kept until that object dies: with a long-lived context, about 120
    // bytes a request for as long as the program runs.
    QNetworkReply *network = s.restManager->post(shared->request, shared->body);
    QObject::connect(network, &QNetworkReply::finished, network, [shared, sent, oversized, network] {
        QRestReply reply(network);
        qCDebug(lcCloud).noquote() << serviceName(shared->service) << "answered" << reply.httpStatus()
                                   << "after" << sent.elapsed() << "ms";
        if (shared->stream && shared->stream->handedOn())
            shared->stream->finish(shared->service, reply, *oversized);
        else
            handleReply(*shared, reply, *oversized);
        releaseReply(reply);
    });
    quickenConnectionOf(network);
    limitReplySize(network, shared->service, oversized);
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
