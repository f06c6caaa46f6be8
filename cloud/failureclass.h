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

[[nodiscard]] QString serviceName(Service service);
[[nodiscard]] QString replyClassName(ReplyClass replyClass);

} // namespace tolka::cloud
