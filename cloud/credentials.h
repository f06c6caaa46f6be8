#pragma once

#include <QByteArray>
#include <QString>

// What the client signs its requests with: the speech resource's region and
// keys, the translator resource's keys and region.
namespace tolka::cloud {

struct Credentials
{
    QString speechRegion; // a region identifier, e.g. "westeurope"
    QByteArray speechKey;
    QByteArray speechBackupKey; // empty: there is none
    QByteArray translatorKey;
    QByteArray translatorBackupKey; // empty: there is none
    QByteArray translatorRegion;    // empty: a global resource

    friend bool operator==(const Credentials &, const Credentials &) = default;
};

// The region the time zone suggests: standard-time offsets from UTC-2 to
// UTC+6 (both included) are served from westeurope, every other one from eastus.
[[nodiscard]] QString automaticSpeechRegion();

// The build's keys, for the time zone's region.
[[nodiscard]] Credentials buildCredentials();

} // namespace tolka::cloud
