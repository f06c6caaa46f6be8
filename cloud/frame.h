#pragma once

#include <QByteArray>
#include <QJsonValue>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRestReply>
#include <QString>
#include <QVariant>

#include <chrono>
#include <optional>

// What translation, recognition and synthesis share: TLS set-up, templates,
// pre-connection, the retry gate, key headers and failed-reply handling.
namespace tolka::cloud {

// Sends of one cycle of failures before the gate refuses and warns.
inline constexpr qint64 maxSendsPerCycle = 5;

// The translator's API version, the generally available one.
inline constexpr char translatorApiVersion[] = "2026-06-06";

// How long a request may go without a byte moving before it fails: 5 s for
// the three request kinds. Tests of slow services shorten it so that they
// need not wait that long; it applies to the templates prepareRequests builds
// from then on (useService rebuilds them).
inline constexpr std::chrono::milliseconds defaultTransferTimeout{5000};
void setTransferTimeout(std::chrono::milliseconds timeout);
[[nodiscard]] std::chrono::milliseconds transferTimeout();

// Default TLS configuration: ALPN "h2" only, TLS 1.3 or else TLS 1.2.
void setUpTls();

// Adds the certificates of a PEM file to the default TLS configuration's CAs.
// Returns false (and logs) when the file cannot be read or holds none.
bool trustExtraCaFile(const QString &path);

// Templates of the three request kinds, built from the current URLs.
void prepareRequests();

// Opens TLS connections to the four hosts so that first requests are fast.
void preconnect();

// The retry gate shared by every request: false after maxSendsPerCycle
// consecutive failures (the user is warned once and the counter restarts).
[[nodiscard]] bool admitRequest();

// Whether the next request of a service carries its backup key: after any
// failure of that service in this process, or while a cycle of failures runs.
[[nodiscard]] bool speechBackupKeyDue();
[[nodiscard]] bool translatorBackupKeyDue();

// Sets the subscription key and, when given, the content length; both
// replace an earlier value. Without a key the regional speech key is used.
void applyHeaders(QNetworkRequest &request, std::optional<qint64> contentLength,
                  std::optional<QByteArray> key = std::nullopt);

[[nodiscard]] bool replySucceeded(const QRestReply &reply);

// What a finished reply holds to be read, without consuming it; nothing when
// the reply was closed (aborted on a timeout, say), as reading it then only
// draws a warning.
[[nodiscard]] QByteArray peekBody(QNetworkReply *reply);

// Logs a failed reply at debug level and counts the failure.
void logReplyError(const QRestReply &reply);

// Schedules the reply's network reply for deletion (skipped when gone).
void releaseReply(const QRestReply &reply);

// A reply body as a JSON value; undefined when it is not a JSON document.
[[nodiscard]] QJsonValue parseJson(const QByteArray &body);

// Sends a UI message through the hub, when init has run.
void sendMessage(const QString &tag, const QVariant &value);

} // namespace tolka::cloud
