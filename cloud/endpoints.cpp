#include "endpoints.h"

#include "cloudconfig.h"
#include "cloudlogging.h"

#include <QDateTime>
#include <QTimeZone>

#include <cstdint>

namespace tolka::cloud {

bool isWestEuropeOffset(int secondsEastOfUtc)
{
    // Unsigned wrap-around turns the two-sided range check into one compare.
    return static_cast<std::uint32_t>(secondsEastOfUtc + 7200) <= 28800u;
}

int localStandardOffset()
{
    return QTimeZone::systemTimeZone().standardTimeOffset(QDateTime::currentDateTime());
}

void buildUrl(QUrl &url, const QString &host, const QString &path)
{
    url.setScheme(QStringLiteral("https"));
    url.setHost(host, QUrl::DecodedMode);
    url.setPath(path, QUrl::DecodedMode);
}

Endpoints buildEndpoints(const QString &speechRegion, const std::optional<QUrl> &origin)
{
    const QString region = speechRegion + u'.';
    Endpoints e;
    buildUrl(e.translate, QString::fromUtf8(config::translatorHost), QStringLiteral("/translate"));
    buildUrl(e.synthesis, region + QString::fromUtf8(config::synthesisHostSuffix),
             QStringLiteral("/cognitiveservices/v1"));
    buildUrl(e.recognition, region + QString::fromUtf8(config::recognitionHostSuffix),
             QStringLiteral("/speech/recognition/conversation/cognitiveservices/v1"));
    buildUrl(e.transcription, region + QString::fromUtf8(config::regionalApiHostSuffix),
             QStringLiteral("/speechtotext/transcriptions:transcribe"));
    if (origin) {
        for (QUrl *url : {&e.translate, &e.synthesis, &e.recognition, &e.transcription}) {
            url->setScheme(origin->scheme());
            url->setHost(origin->host());
            url->setPort(origin->port());
        }
    }
    return e;
}

std::optional<QUrl> developmentOrigin()
{
    const QByteArray value = qgetenv("TOLKA_CLOUD_ORIGIN");
    if (value.isEmpty())
        return std::nullopt;
    const QUrl url(QString::fromUtf8(value), QUrl::StrictMode);
    if (!url.isValid() || url.scheme() != QLatin1String("https") || url.host().isEmpty() ||
        !(url.path().isEmpty() || url.path() == QLatin1String("/")) || url.hasQuery()) {
        qCWarning(lcCloud) << "TOLKA_CLOUD_ORIGIN ignored: expected https://host[:port], got" << value;
        return std::nullopt;
    }
    return url;
}

QString developmentCaFile()
{
    return qEnvironmentVariable("TOLKA_CLOUD_CA_FILE");
}

} // namespace tolka::cloud
