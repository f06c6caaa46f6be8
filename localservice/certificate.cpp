#include "certificate.h"

#include <QFile>
#include <QRandomGenerator>

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <memory>

namespace {

template <auto Free> struct Deleter
{
    template <typename T> void operator()(T *p) const { Free(p); }
};
using Key = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY_free>>;
using Certificate = std::unique_ptr<X509, Deleter<X509_free>>;
using Bio = std::unique_ptr<BIO, Deleter<BIO_free>>;

bool addExtension(X509 *certificate, int nid, const char *value)
{
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, certificate, certificate, nullptr, nullptr, 0);
    X509_EXTENSION *extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
    if (!extension)
        return false;
    const bool added = X509_add_ext(certificate, extension, -1) == 1;
    X509_EXTENSION_free(extension);
    return added;
}

QByteArray bioContents(BIO *bio)
{
    char *data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    return QByteArray(data, size);
}

bool writeFile(const QString &path, const QByteArray &data, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(data) != data.size()) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

std::optional<QByteArrayList> makePem(const Validity &validity, QString *error)
{
    Key key(EVP_EC_gen("P-256"));
    Certificate certificate(X509_new());
    if (!key || !certificate) {
        *error = QStringLiteral("key generation failed");
        return std::nullopt;
    }
    X509 *x = certificate.get();
    X509_set_version(x, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(x), long(QRandomGenerator::global()->bounded(1, 1 << 30)));
    X509_gmtime_adj(X509_getm_notBefore(x), long(validity.notBefore.count()));
    X509_gmtime_adj(X509_getm_notAfter(x), long(validity.notAfter.count()));
    X509_set_pubkey(x, key.get());
    X509_NAME *name = X509_get_subject_name(x);
    // A name of its own: a client that trusts certificates of several runs
    // (the offline engines restarted, say) looks issuers up by name.
    const QByteArray commonName =
        "Tolka local service " + QByteArray::number(QRandomGenerator::global()->generate64(), 16);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char *>(commonName.constData()), -1, -1, 0);
    X509_set_issuer_name(x, name);
    if (!addExtension(x, NID_basic_constraints, "critical,CA:TRUE") ||
        !addExtension(x, NID_key_usage, "critical,digitalSignature,keyCertSign") ||
        !addExtension(x, NID_subject_alt_name, "DNS:localhost,IP:127.0.0.1,IP:::1") ||
        !X509_sign(x, key.get(), EVP_sha256())) {
        *error = QStringLiteral("certificate signing failed");
        return std::nullopt;
    }
    Bio certificateBio(BIO_new(BIO_s_mem()));
    Bio keyBio(BIO_new(BIO_s_mem()));
    if (!PEM_write_bio_X509(certificateBio.get(), x) ||
        !PEM_write_bio_PrivateKey(keyBio.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr)) {
        *error = QStringLiteral("PEM encoding failed");
        return std::nullopt;
    }
    return QByteArrayList{bioContents(certificateBio.get()), bioContents(keyBio.get())};
}

} // namespace

std::optional<TlsIdentity> generateIdentity(const QString &folder, QString *error, const Validity &validity)
{
    const std::optional<QByteArrayList> pem = makePem(validity, error);
    if (!pem)
        return std::nullopt;
    const QString caPath = folder + QStringLiteral("/ca.pem");
    const QString keyPath = folder + QStringLiteral("/key.pem");
    if (!writeFile(caPath, pem->at(0), error) || !writeFile(keyPath, pem->at(1), error))
        return std::nullopt;
    return loadIdentity(caPath, keyPath, error);
}

std::optional<TlsIdentity> loadIdentity(const QString &certificatePath, const QString &keyPath,
                                        QString *error)
{
    QFile certificateFile(certificatePath);
    QFile keyFile(keyPath);
    if (!certificateFile.open(QIODevice::ReadOnly) || !keyFile.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1 or %2").arg(certificatePath, keyPath);
        return std::nullopt;
    }
    const QList<QSslCertificate> certificates =
        QSslCertificate::fromData(certificateFile.readAll(), QSsl::Pem);
    const QByteArray keyPem = keyFile.readAll();
    QSslKey key(keyPem, QSsl::Ec, QSsl::Pem);
    if (key.isNull())
        key = QSslKey(keyPem, QSsl::Rsa, QSsl::Pem);
    if (certificates.isEmpty() || key.isNull()) {
        *error =
            QStringLiteral("no PEM certificate in %1 or no EC/RSA key in %2").arg(certificatePath, keyPath);
        return std::nullopt;
    }
    return TlsIdentity{certificates.constFirst(), key, certificatePath};
}
