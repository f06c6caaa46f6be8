#pragma once

#include <QSslCertificate>
#include <QSslKey>
#include <QString>

#include <chrono>
#include <optional>

// The service's TLS identity: a self-signed certificate that is its own CA,
// valid for localhost, 127.0.0.1 and ::1.
struct TlsIdentity
{
    QSslCertificate certificate;
    QSslKey key;
    QString caPath; // PEM file a client adds to its trusted CAs
};

// When a certificate is valid, from now: by default from an hour ago for 30
// days. Tests make expired ones.
struct Validity
{
    std::chrono::seconds notBefore{-3600};
    std::chrono::seconds notAfter{30L * 24 * 3600};
};

// Generates a fresh identity and writes ca.pem and key.pem into folder.
[[nodiscard]] std::optional<TlsIdentity> generateIdentity(const QString &folder, QString *error,
                                                          const Validity &validity = {});

// Loads an identity from PEM files (the certificate file doubles as CA path).
[[nodiscard]] std::optional<TlsIdentity> loadIdentity(const QString &certificatePath, const QString &keyPath,
                                                      QString *error);
