#pragma once

#include <QByteArray>
#include <QByteArrayList>

// The subscription keys: the build's six, those in use, and the choice
// between a primary and a backup key.
namespace tolka::cloud {

[[nodiscard]] QByteArray buildSpeechKey(bool westEurope, bool backup);
[[nodiscard]] QByteArray buildTranslatorKey(bool backup);
[[nodiscard]] QByteArrayList buildKeys();

// The keys of the credentials in use; a backup that was not given is the
// primary key.
[[nodiscard]] QByteArray speechKey(bool backup);
[[nodiscard]] QByteArray translatorKey(bool backup);
// Whether a rejected key can be followed by another one.
[[nodiscard]] bool hasSpeechBackupKey();
[[nodiscard]] bool hasTranslatorBackupKey();

// The build's keys and those in use.
[[nodiscard]] QByteArrayList allKeys();

// Replaces every subscription key found in text, so that no log line can
// carry one (a service may echo request headers in an error body).
[[nodiscard]] QByteArray redactKeys(QByteArray text);

} // namespace tolka::cloud
