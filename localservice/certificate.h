#pragma once

#include <QSslCertificate>
#include <QSslKey>
#include <QString>

#include <optional>

// The service's TLS identity: a self-signed certificate that is its own CA,
// valid for localhost, 127.0.0.1 and ::1.
struct TlsIdentity
{
    QSslCertificate certificate;
    QSslKey key;
    QString caPath; // PEM file a client adds to its trusted CAs
};

// Generates a fresh identity and writes ca.pem and key.pem into folder.
[[nodiscard]] std::optional<TlsIdentity> generateIdentity(const QString &folder, QString *error);

// Loads an identity from PEM files (the certificate file doubles as CA path).
[[nodiscard]] std::optional<TlsIdentity> loadIdentity(const QString &certificatePath, const QString &keyPath,
                                                      QString *error);
