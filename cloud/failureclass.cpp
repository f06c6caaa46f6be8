#include "failureclass.h"

#include "frame.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

using namespace std::chrono_literals;

namespace tolka::cloud {

namespace {

constexpr int throttledForbiddenCode = 403001; // the free tier's quota is used up
constexpr std::chrono::milliseconds firstResendDelay = 200ms;
constexpr std::chrono::milliseconds longestRetryAfter = 10s;
// Bounds a Retry-After in seconds before it is converted, so that no value
// can overflow; anything that long is cut to longestRetryAfter anyway.
constexpr qint64 retryAfterSecondsBound = 24 * 3600;
constexpr qint64 maxTextReplyBytes = 2 * 1024 * 1024;
constexpr qint64 maxSpeechReplyBytes = 16 * 1024 * 1024;

// Short-audio recognition statuses of a reply that heard no words.
bool heardNothing(const QString &status)
{
    return status == QLatin1String("NoMatch") || status == QLatin1String("InitialSilenceTimeout") ||
           status == QLatin1String("BabbleTimeout");
}

Verdict successfulReply(Service service, int status, const QByteArray &body)
{
    Verdict verdict{ReplyClass::Success, status, {}, {}};
    if (service != Service::Recognition)
        return verdict;
    const QString recognition =
        QJsonDocument::fromJson(body).object().value(QLatin1String("RecognitionStatus")).toString();
    if (heardNothing(recognition))
        verdict.replyClass = ReplyClass::NothingRecognised;
    else if (recognition == QLatin1String("Error"))
        verdict.replyClass = ReplyClass::Transient; // the service's own trouble
    if (!recognition.isEmpty() && recognition != QLatin1String("Success"))
        verdict.code = recognition;
    return verdict;
}

ReplyClass classOfStatus(int status, const QString &code)
{
    if (status == 429 || code == QString::number(throttledForbiddenCode))
        return ReplyClass::Throttled;
    if (status == 401 || status == 403)
        return ReplyClass::KeyRejected;
    if (status == 408 || status >= 500)
        return ReplyClass::Transient;
    if (status >= 400)
        return ReplyClass::BadRequest;
    return ReplyClass::Transient; // an unexpected status: perhaps a proxy's, worth another try
}

} // namespace

Verdict classifyReply(Service service, QNetworkReply::NetworkError error, int status, const QByteArray &body,
                      QByteArrayView retryAfter, const QDateTime &now)
{
    if (status >= 200 && status < 300) {
        // A status, then the transfer broke: the body cannot be trusted.
        if (error != QNetworkReply::NoError)
            return {ReplyClass::Transient, status, {}, {}};
        return successfulReply(service, status, body);
    }
    if (status == 0)
        return {ReplyClass::Transient, 0, {}, {}};
    Verdict verdict{ReplyClass::Transient, status, errorCode(body), {}};
    verdict.replyClass = classOfStatus(status, verdict.code);
    if (verdict.replyClass == ReplyClass::Throttled)
        verdict.retryAfter = parseRetryAfter(retryAfter, now);
    return verdict;
}

std::optional<std::chrono::milliseconds> parseRetryAfter(QByteArrayView value, const QDateTime &now)
{
    const QByteArrayView text = value.trimmed();
    if (text.isEmpty())
        return std::nullopt;
    if (std::ranges::all_of(text, [](char c) { return c >= '0' && c <= '9'; })) {
        const qint64 seconds = text.size() > 6 ? retryAfterSecondsBound : text.toLongLong();
        return std::chrono::seconds(std::min(seconds, retryAfterSecondsBound));
    }
    // An HTTP date ("Wed, 21 Oct 2015 07:28:00 GMT") is an RFC 2822 date
    // whose zone is always named GMT, a name Qt's parser does not know.
    QString date = QString::fromLatin1(text);
    if (date.endsWith(QLatin1String(" GMT")))
        date.replace(date.size() - 3, 3, QStringLiteral("+0000"));
    const QDateTime when = QDateTime::fromString(date, Qt::RFC2822Date);
    if (!when.isValid())
        return std::nullopt;
    return std::chrono::milliseconds(std::max<qint64>(0, now.msecsTo(when)));
}

QString errorCode(const QByteArray &body)
{
    const QJsonValue code = QJsonDocument::fromJson(body)
                                .object()
                                .value(QLatin1String("error"))
                                .toObject()
                                .value(QLatin1String("code"));
    if (code.isString())
        return code.toString();
    if (code.isDouble())
        return QString::number(code.toInteger());
    return {};
}

std::chrono::milliseconds resendDelay(const Verdict &verdict, qint64 failureCount)
{
    if (failureCount >= maxSendsPerCycle)
        return 0ms;
    if (verdict.replyClass == ReplyClass::Throttled && verdict.retryAfter)
        return std::min(*verdict.retryAfter, longestRetryAfter);
    const qint64 doublings = std::clamp<qint64>(failureCount - 1, 0, maxSendsPerCycle);
    return firstResendDelay * (qint64(1) << doublings);
}

qint64 maxReplyBytes(Service service)
{
    return service == Service::Synthesis ? maxSpeechReplyBytes : maxTextReplyBytes;
}

bool expectedContentType(Service service, QByteArrayView contentType)
{
    const QByteArray type = contentType.trimmed().toByteArray().toLower();
    if (type.isEmpty())
        return true;
    const qsizetype parameters = type.indexOf(';');
    const QByteArray media = (parameters < 0 ? type : type.first(parameters)).trimmed();
    if (service == Service::Synthesis)
        return media.startsWith("audio/") || media == "application/octet-stream";
    return media == "application/json";
}

Verdict checkedSuccess(Service service, Verdict verdict, QByteArrayView contentType,
                       std::optional<qint64> declaredLength, qint64 bodyLength)
{
    if (verdict.replyClass != ReplyClass::Success && verdict.replyClass != ReplyClass::NothingRecognised)
        return verdict;
    // An empty body cannot be misread, whatever it is labelled.
    if (bodyLength > 0 && !expectedContentType(service, contentType)) {
        verdict.replyClass = ReplyClass::Transient;
        verdict.code = QStringLiteral("contentType");
    } else if (declaredLength && bodyLength < *declaredLength) {
        verdict.replyClass = ReplyClass::Transient;
        verdict.code = QStringLiteral("truncated");
    }
    return verdict;
}

QString serviceName(Service service)
{
    switch (service) {
    case Service::Translation:
        return QStringLiteral("translation");
    case Service::Recognition:
        return QStringLiteral("recognition");
    case Service::Synthesis:
        return QStringLiteral("synthesis");
    }
    return {};
}

QString replyClassName(ReplyClass replyClass)
{
    switch (replyClass) {
    case ReplyClass::Success:
        return QStringLiteral("success");
    case ReplyClass::Transient:
        return QStringLiteral("transient");
    case ReplyClass::Throttled:
        return QStringLiteral("throttled");
    case ReplyClass::KeyRejected:
        return QStringLiteral("keyRejected");
    case ReplyClass::BadRequest:
        return QStringLiteral("badRequest");
    case ReplyClass::NothingRecognised:
        return QStringLiteral("nothingRecognised");
    case ReplyClass::TooLarge:
        return QStringLiteral("tooLarge");
    }
    return {};
}

} // namespace tolka::cloud
