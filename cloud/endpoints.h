#pragma once

#include <QString>
#include <QUrl>

#include <optional>

// Region choice and the four service URLs.
namespace tolka::cloud {

struct Endpoints
{
    QUrl translate;
    QUrl synthesis;
    QUrl recognition;
    QUrl transcription;
};

// Standard-time offsets from UTC-2 to UTC+6 (both included) are served from
// westeurope, every other one from eastus.
[[nodiscard]] bool isWestEuropeOffset(int secondsEastOfUtc);

// Standard-time offset of the local time zone now, daylight saving left out.
[[nodiscard]] int localStandardOffset();

// Scheme "https", host and path, each taken as decoded text.
void buildUrl(QUrl &url, const QString &host, const QString &path);

// The four endpoints of a speech region (e.g. "westeurope"). With an origin,
// every endpoint goes to its scheme, host and port instead; paths stay the same.
[[nodiscard]] Endpoints buildEndpoints(const QString &speechRegion,
                                       const std::optional<QUrl> &origin = std::nullopt);

// Development override read from TOLKA_CLOUD_ORIGIN ("https://host:port").
// Anything else than an https origin is refused with a warning.
[[nodiscard]] std::optional<QUrl> developmentOrigin();

// PEM file of extra CA certificates named by TOLKA_CLOUD_CA_FILE, or empty.
[[nodiscard]] QString developmentCaFile();

} // namespace tolka::cloud
