#include "validation.h"

#include "cloudconfig.h"

#include <QHttpHeaders>
#include <QHttpServerRequest>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

namespace config = tolka::cloud::config;

KeyRing KeyRing::buildKeys()
{
    KeyRing ring;
    ring.translator.insert(config::translatorKey, QStringLiteral("translator-primary"));
    ring.translator.insert(config::translatorBackupKey, QStringLiteral("translator-backup"));
    ring.speech.insert(config::speechKeyWestEurope, QStringLiteral("westeurope-primary"));
    ring.speech.insert(config::speechBackupKeyWestEurope, QStringLiteral("westeurope-backup"));
    ring.speech.insert(config::speechKeyEastUs, QStringLiteral("eastus-primary"));
    ring.speech.insert(config::speechBackupKeyEastUs, QStringLiteral("eastus-backup"));
    return ring;
}

QString KeyRing::roleOf(const QByteArray &key) const
{
    return translator.value(key, speech.value(key));
}

Rejection rejection(int status, const QJsonValue &code, const QString &message)
{
    const QJsonObject error{{QStringLiteral("code"), code}, {QStringLiteral("message"), message}};
    return {status,
            QJsonDocument(QJsonObject{{QStringLiteral("error"), error}}).toJson(QJsonDocument::Compact)};
}

Rejection translatorRejection(int status, int code, const QString &message)
{
    return rejection(status, code, message);
}

QByteArray contentTypeOf(const QHttpHeaders &headers)
{
    return headers.combinedValue(QHttpHeaders::WellKnownHeader::ContentType).trimmed().toLower();
}

QByteArray contentTypeOf(const QHttpServerRequest &request)
{
    return contentTypeOf(request.headers());
}

namespace {

QByteArray presentedKey(const QHttpHeaders &headers)
{
    // Repeated headers combine into one value, which matches no key.
    return headers.combinedValue("Ocp-Apim-Subscription-Key");
}

QByteArray presentedKey(const QHttpServerRequest &request)
{
    return presentedKey(request.headers());
}

} // namespace

std::variant<QString, Rejection> checkSpeechKey(const QHttpServerRequest &request, const KeyRing &keys)
{
    return checkSpeechKey(request.headers(), keys);
}

std::variant<QString, Rejection> checkSpeechKey(const QHttpHeaders &headers, const KeyRing &keys)
{
    const QByteArray key = presentedKey(headers);
    const auto it = keys.speech.constFind(key);
    if (key.isEmpty() || it == keys.speech.cend())
        return rejection(
            401, QStringLiteral("401"),
            QStringLiteral("Access denied due to invalid subscription key or wrong API endpoint."));
    return *it;
}

std::variant<QString, Rejection> checkTranslatorKey(const QHttpServerRequest &request, const KeyRing &keys,
                                                    const QString &region)
{
    constexpr int credentialsInvalid = 401000;
    constexpr int speechKeyOnTextApi = 401015;
    const QByteArray key = presentedKey(request);
    if (keys.speech.contains(key))
        return translatorRejection(401, speechKeyOnTextApi,
                                   QStringLiteral("The credentials provided are for the Speech API. This "
                                                  "request requires credentials for the Text API."));
    const auto it = keys.translator.constFind(key);
    if (key.isEmpty() || it == keys.translator.cend())
        return translatorRejection(
            401, credentialsInvalid,
            QStringLiteral("The request is not authorized because credentials are missing or invalid."));
    const QByteArray named = request.headers().combinedValue("Ocp-Apim-Subscription-Region");
    if (!region.isEmpty() && QString::fromLatin1(named).compare(region, Qt::CaseInsensitive) != 0)
        return translatorRejection(
            401, credentialsInvalid,
            QStringLiteral("The request is not authorized because credentials are missing or invalid: "
                           "a key of a regional resource needs its region (%1).")
                .arg(region));
    return *it;
}

std::optional<double> prosodyRate(QStringView value)
{
    const QStringView v = value.trimmed();
    static const std::pair<QLatin1StringView, double> named[] = {
        {QLatin1StringView("x-slow"), 0.5}, {QLatin1StringView("slow"), 0.64},
        {QLatin1StringView("medium"), 1.0}, {QLatin1StringView("default"), 1.0},
        {QLatin1StringView("fast"), 1.55},  {QLatin1StringView("x-fast"), 2.0}};
    for (const auto &[name, factor] : named) {
        if (v.compare(name, Qt::CaseInsensitive) == 0)
            return factor;
    }
    bool ok = false;
    double factor = 0.0;
    if (v.endsWith(u'%')) {
        const QStringView number = v.chopped(1);
        const double percent = number.toDouble(&ok);
        // A signed percentage is a change; an unsigned one, a share of normal.
        const bool relative = number.startsWith(u'+') || number.startsWith(u'-');
        factor = relative ? 1.0 + percent / 100.0 : percent / 100.0;
    } else {
        factor = v.toDouble(&ok);
    }
    if (!ok || !std::isfinite(factor) || factor <= 0.0)
        return std::nullopt;
    return factor;
}
