#pragma once

#include "credentials.h"

#include <QUrl>

#include <functional>
#include <optional>

// Which service the client talks to, changed at run time: the cloud with the
// user's account, or the local stand-in with its offline engines.
namespace tolka::cloud {

// Points the client at a service: its credentials and, for a stand-in, the
// origin every request goes to instead. Endpoints and templates are rebuilt,
// pooled connections dropped and new ones opened at once; replies already on
// their way are still handled.
void useService(const Credentials &credentials, const std::optional<QUrl> &origin = std::nullopt);

[[nodiscard]] const Credentials &currentCredentials();
[[nodiscard]] const std::optional<QUrl> &currentOrigin();

// Asked before each request is posted. It returns true when the service can
// take it now; otherwise it keeps `send` and calls it once the service is
// ready (or drops it when the service cannot be had). None: always ready.
using Availability = std::function<bool(const std::function<void()> &send)>;
void setAvailability(Availability availability);
[[nodiscard]] bool serviceReady(const std::function<void()> &send);

} // namespace tolka::cloud
