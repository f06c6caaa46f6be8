#pragma once

#include <QByteArray>
#include <QByteArrayList>

// The six build-time subscription keys and the choice between them.
namespace tolka::cloud {

[[nodiscard]] QByteArray speechKey(bool westEurope, bool backup);
[[nodiscard]] QByteArray translatorKey(bool backup);
[[nodiscard]] QByteArrayList allKeys();

// Replaces every subscription key found in text, so that no log line can
// carry one (a service may echo request headers in an error body).
[[nodiscard]] QByteArray redactKeys(QByteArray text);

} // namespace tolka::cloud
