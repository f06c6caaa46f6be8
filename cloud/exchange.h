#pragma once

#include "failureclass.h"
#include "replystream.h"

#include <QByteArray>
#include <QNetworkRequest>

#include <functional>
#include <memory>

// The chain every request shares once it is built: post it, classify the
// reply, count the failure, resend after a pause or stop, release the reply.
// The interface hears "ERROR" of every request that is not resent and of
// every throttled wait (then with "wait", in milliseconds).
namespace tolka::cloud {

struct Exchange
{
    Service service = Service::Translation;
    QNetworkRequest request; // with every header set
    QByteArray body;
    bool otherKeyLeft = false;                         // a rejected key may give way to the backup key
    std::function<void()> onSend;                      // just before posting (may be empty)
    std::function<void()> onReply;                     // first, for every reply (may be empty)
    std::function<void(const QByteArray &)> onSuccess; // a 2xx reply with a body
    std::function<void()> resend;                      // the same request again, through the gate
    // When set, a 2xx body goes out through it as it is read; onSuccess then
    // only gets a body that ended before its first piece.
    std::shared_ptr<ReplyStream> stream;
};

// Posts the request, or has it wait while the service is being started.
void post(Exchange exchange);

// What follows a failed reply once it is counted: a resend now or after a
// pause, or the end of the cycle with the interface told why. otherKeyLeft:
// the request used the primary key and a backup key exists.
void afterFailure(Service service, const Verdict &verdict, bool otherKeyLeft,
                  const std::function<void()> &resend);

// The "ERROR" message of a request that is not resent: which service, which
// class of failure, the HTTP status and the service's code.
[[nodiscard]] QVariantMap errorMessage(Service service, const Verdict &verdict);

} // namespace tolka::cloud
