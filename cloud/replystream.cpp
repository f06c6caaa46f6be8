#include "replystream.h"

#include "clientstate.h"
#include "cloudlogging.h"
#include "exchange.h"
#include "frame.h"

#include <QNetworkReply>
#include <QRestReply>

namespace tolka::cloud {

ReplyStream::ReplyStream(Service service, Sink sink, qsizetype unit, Completion complete)
    : m_service(service), m_sink(std::move(sink)), m_complete(std::move(complete)),
      m_unit(std::max<qsizetype>(1, unit))
{}

void ReplyStream::watch(QNetworkReply *reply)
{
    if (!reply)
        return;
    QObject::connect(reply, &QNetworkReply::readyRead, reply,
                     [self = shared_from_this(), reply] { self->read(*reply); });
}

QByteArray ReplyStream::take(QNetworkReply &reply) const
{
    const qint64 whole = reply.bytesAvailable() / m_unit * m_unit;
    return whole > 0 ? reply.read(whole) : QByteArray();
}

void ReplyStream::read(QNetworkReply &reply)
{
    // An error body stays whole for the classification at the end.
    const int status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status < 200 || status >= 300 || reply.error() != QNetworkReply::NoError)
        return;
    // Nor is what something in between answered handed on as audio, nor
    // the start of a reply that says it is too large to be taken.
    if (!expectedContentType(m_service, reply.rawHeader("Content-Type")) ||
        reply.header(QNetworkRequest::ContentLengthHeader).toLongLong() > maxReplyBytes(m_service))
        return;
    const QByteArray piece = take(reply);
    if (!piece.isEmpty())
        m_sink(m_next++, piece, false);
}

void ReplyStream::finish(Service service, QRestReply &reply, bool oversized)
{
    QNetworkReply *network = reply.networkReply();
    const QByteArray rest = network ? take(*network) : QByteArray();
    const bool partialUnit = network && network->bytesAvailable() > 0;
    if (partialUnit)
        qCDebug(lcCloud) << "ignored a trailing partial unit of" << network->bytesAvailable() << "bytes";
    // The network reply's own error: the REST reply does not count every
    // failure that follows a 2xx status (an HTTP/2 stream reset, for one).
    const QNetworkReply::NetworkError error = network ? network->error() : reply.error();
    Verdict verdict = classifyReply(service, error, reply.httpStatus(), {}, {});
    if (oversized)
        verdict = {ReplyClass::TooLarge, reply.httpStatus(), {}, {}};
    else if (partialUnit && verdict.replyClass == ReplyClass::Success)
        verdict = {ReplyClass::Transient, reply.httpStatus(), QStringLiteral("truncated"), {}};
    ClientState &s = clientState();
    s.failureCount = 0;
    if (verdict.replyClass != ReplyClass::Success) {
        logReplyError(reply);
        s.failureCount = 0;
        qCInfo(lcCloud).noquote() << serviceName(service) << "reply broke after" << m_next
                                  << "pieces; not resent, the part already handed on stays";
        sendMessage(QStringLiteral("ERROR"), errorMessage(service, verdict));
    }
    m_sink(m_next++, rest, true);
    if (verdict.replyClass == ReplyClass::Success && m_complete)
        m_complete();
}

} // namespace tolka::cloud
