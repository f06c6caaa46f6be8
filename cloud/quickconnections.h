#pragma once

class QNetworkReply;
class QUrl;

// Keeps the client's connections free of Nagle's algorithm (see
// net/lowdelay.h): before each request for the connections already open to
// its host, and once a reply's own new connection starts.
namespace tolka::cloud {

void quickenConnectionsTo(const QUrl &url);
void quickenConnectionOf(QNetworkReply *reply);

// On by default; TOLKA_LOW_DELAY=0 turns it off (for comparisons).
[[nodiscard]] bool lowDelayEnabled();
void setLowDelayEnabled(bool enabled);

} // namespace tolka::cloud
