#pragma once

#include "failureclass.h"

#include <QByteArray>

#include <cstdint>
#include <functional>
#include <memory>

class QNetworkReply;
class QRestReply;

// Hands a successful reply's body on as it is read, in whole units (the
// rest waits in the reply for the next read), instead of all at the end.
// Until the first piece has gone out nothing is consumed, so a reply that
// fails before it is classified and resent like any other.
namespace tolka::cloud {

class ReplyStream : public std::enable_shared_from_this<ReplyStream>
{
public:
    // index counts the pieces from 0; last is set once, on the final call.
    using Sink = std::function<void(std::uint64_t index, const QByteArray &body, bool last)>;
    // Called after the last piece when the reply ended well and in whole
    // units: what went out is the whole body.
    using Completion = std::function<void()>;

    ReplyStream(Service service, Sink sink, qsizetype unit, Completion complete = {});

    // Follows the reply's readyRead (the reply keeps the stream alive).
    void watch(QNetworkReply *reply);
    [[nodiscard]] bool handedOn() const { return m_next > 0; }
    // The reply ended after pieces went out: what is left goes out with the
    // end. Audio already handed on cannot be taken back, so a failure now
    // is not resent (that would speak the start again): the interface is
    // told as for any request that is not resent. oversized: the reply was
    // given up for its size. A trailing part of a unit means the transfer
    // was cut: a failure too, however it ended.
    void finish(Service service, QRestReply &reply, bool oversized = false);

private:
    void read(QNetworkReply &reply);
    [[nodiscard]] QByteArray take(QNetworkReply &reply) const;

    Service m_service;
    Sink m_sink;
    Completion m_complete;
    qsizetype m_unit;
    std::uint64_t m_next = 0;
};

} // namespace tolka::cloud
