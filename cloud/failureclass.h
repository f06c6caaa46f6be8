#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QNetworkReply>
#include <QString>

#include <chrono>
#include <optional>

// What a reply of one of the three services means for the request that got
// it: done, worth resending (now or later), or not worth resending at all.
namespace tolka::cloud {

enum class Service
{
    Translation,
    Recognition,
    Synthesis
};

enum class ReplyClass
{
    Success,
    Transient,         // network error, timeout, 408, 5xx: resend after a growing delay
    Throttled,         // 429, 403001: resend after Retry-After or the growing delay
    KeyRejected,       // 401, 403: the backup key once, then stop
    BadRequest,        // 400, 413, 415 and other 4xx: no resend
    NothingRecognised, // a 2xx recognition that heard no words: no resend, no failure
    TooLarge,          // a reply past maxReplyBytes: not read to the end, not resent
};

struct Verdict
{
    ReplyClass replyClass = ReplyClass::Success;
    int status = 0; // HTTP status, 0 when none arrived
    QString code;   // the service's error code or recognition status, when it gave one
    std::optional<std::chrono::milliseconds> retryAfter;
};

// Classifies one finished reply. status is 0 when no HTTP status arrived;
// retryAfter is the header's value (empty when absent).
[[nodiscard]] Verdict classifyReply(Service service, QNetworkReply::NetworkError error, int status,
                                    const QByteArray &body, QByteArrayView retryAfter,
                                    const QDateTime &now = QDateTime::currentDateTimeUtc());

// A Retry-After value (delay in seconds or an HTTP date) as a wait from now;
// nothing when it is neither. A date in the past is no wait.
[[nodiscard]] std::optional<std::chrono::milliseconds> parseRetryAfter(QByteArrayView value,
                                                                       const QDateTime &now);

// The code of an error body {"error":{"code":..}}, a number or a string;
// empty when the body has none.
[[nodiscard]] QString errorCode(const QByteArray &body);

// How long to wait before resending after a transient or throttled failure,
// given the failure count of the cycle so far (1 after its first failure):
// 200, 400, 800, 1600 ms, or what Retry-After asks, at most 10 s. No wait
// once the count has reached the gate's limit: the gate refuses at once.
[[nodiscard]] std::chrono::milliseconds resendDelay(const Verdict &verdict, qint64 failureCount);

// The most a reply of the service may hold: far more than any real one (a
// translation of the longest text the translator takes; about 90 minutes of
// speech), so that a broken or hostile reply cannot fill the memory.
[[nodiscard]] qint64 maxReplyBytes(Service service);

// Whether a 2xx reply's content type is one the service answers with (JSON,
// or audio for synthesis). A reply without one is taken as it is; one of
// another type came from something in between (a captive portal's page, a
// proxy's error) and is a failure worth resending.
[[nodiscard]] bool expectedContentType(Service service, QByteArrayView contentType);

// A 2xx verdict checked against what the reply carried: a body of a wrong
// content type, or a body shorter than its Content-Length (the transfer was cut and
// ended as if whole), makes it a transient failure.
[[nodiscard]] Verdict checkedSuccess(Service service, Verdict verdict, QByteArrayView contentType,
                                     std::optional<qint64> declaredLength, qint64 bodyLength);

[[nodiscard]] QString serviceName(Service service);
[[nodiscard]] QString replyClassName(ReplyClass replyClass);

} // namespace tolka::cloud
