// The reading of the services' replies: the class of any status, body and
// Retry-After, the error code of any body, the wait before a resend.
#include "failureclass.h"
#include "fuzzcheck.h"

#include <QByteArray>
#include <QDateTime>
#include <QTimeZone>

#include <chrono>
#include <cstddef>
#include <cstdint>

using namespace tolka::cloud;

namespace {

constexpr std::size_t headBytes = 4;
constexpr auto longestWait = std::chrono::seconds(10);

} // namespace

// Bytes 0-1: the HTTP status; 2: the service and whether a network error
// came; 3: the failure count. The rest is the Retry-After value, a zero
// byte, then the body.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < headBytes)
        return 0;
    const int status = (data[0] << 8 | data[1]) % 1000;
    const auto service = static_cast<Service>(data[2] % 3);
    const auto error = (data[2] & 0x80) ? QNetworkReply::RemoteHostClosedError : QNetworkReply::NoError;
    const qint64 failures = data[3] % 8;
    const QByteArray rest(reinterpret_cast<const char *>(data + headBytes), qsizetype(size - headBytes));
    const qsizetype split = rest.indexOf('\0');
    const QByteArray retryAfter = split < 0 ? rest : rest.left(split);
    const QByteArray body = split < 0 ? QByteArray() : rest.mid(split + 1);
    const QDateTime now = QDateTime::fromSecsSinceEpoch(1'780'000'000, QTimeZone::UTC);

    const Verdict verdict = classifyReply(service, error, status, body, retryAfter, now);
    TOLKA_FUZZ_CHECK(verdict.status == status);
    if (verdict.replyClass == ReplyClass::Success)
        TOLKA_FUZZ_CHECK(error == QNetworkReply::NoError && status >= 200 && status < 300);
    if (verdict.retryAfter)
        TOLKA_FUZZ_CHECK(verdict.retryAfter->count() >= 0);
    if (const auto wait = parseRetryAfter(retryAfter, now))
        TOLKA_FUZZ_CHECK(wait->count() >= 0);
    const std::chrono::milliseconds delay = resendDelay(verdict, failures + 1);
    TOLKA_FUZZ_CHECK(delay.count() >= 0 && delay <= longestWait);
    (void)errorCode(body);
    return 0;
}
