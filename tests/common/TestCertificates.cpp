#include "TestCertificates.h"

#include <QUuid>

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509v3.h>

#include <memory>

namespace {

template<typename T, void (*release)(T *)>
struct Free
{
    void operator()(T *object) const { release(object); }
};
using Key = std::unique_ptr<EVP_PKEY, Free<EVP_PKEY, EVP_PKEY_free>>;
using Certificate = std::unique_ptr<X509, Free<X509, X509_free>>;
using Extension = std::unique_ptr<X509_EXTENSION, Free<X509_EXTENSION, X509_EXTENSION_free>>;
using Bio = std::unique_ptr<BIO, Free<BIO, BIO_free_all>>;

bool failed(const QString &what, QString &errorText)
{
    const unsigned long code = ERR_peek_last_error();
    ERR_clear_error();
    char reason[256] = "no reason given";
    if (code != 0)
        ERR_error_string_n(code, reason, sizeof reason);
    errorText = QStringLiteral("%1 (%2)").arg(what, QString::fromLatin1(reason));
    return false;
}

Bio readBio(const QByteArray &pem)
{
    return Bio(BIO_new_mem_buf(pem.constData(), pem.size()));
}

QByteArray bioBytes(BIO *bio)
{
    char *data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    return QByteArray(data, int(size));
}

// Makes a new key and a certificate for it, signed by the issuer or, without one, by itself.
bool issue(const QString &commonName, const QStringList &extensions, X509 *issuer,
           EVP_PKEY *issuerKey, int fromDays, int untilDays, TestIdentity &out, QString &errorText)
{
    const Key key(EVP_EC_gen("P-256"));
    const Certificate certificate(X509_new());
    if (!key || !certificate)
        return failed(QStringLiteral("cannot make a key"), errorText);
    X509 *cert = certificate.get();

    // Serial numbers differ too, so that no verifier mistakes one test's certificate for another.
    uint64_t serial = 0;
    const QByteArray name = commonName.toUtf8();
    X509_NAME *subject = X509_get_subject_name(cert);
    if (RAND_bytes(reinterpret_cast<unsigned char *>(&serial), sizeof serial) != 1 ||
        !X509_set_version(cert, X509_VERSION_3) ||
        !ASN1_INTEGER_set_uint64(X509_get_serialNumber(cert), serial >> 1) ||
        !X509_gmtime_adj(X509_getm_notBefore(cert), long(fromDays) * 86400) ||
        !X509_gmtime_adj(X509_getm_notAfter(cert), long(untilDays) * 86400) ||
        !X509_NAME_add_entry_by_txt(subject, "CN", MBSTRING_UTF8,
                                    reinterpret_cast<const unsigned char *>(name.constData()),
                                    name.size(), -1, 0) ||
        !X509_set_issuer_name(cert, issuer ? X509_get_subject_name(issuer) : subject) ||
        !X509_set_pubkey(cert, key.get()))
        return failed(QStringLiteral("cannot fill in the certificate"), errorText);

    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, issuer ? issuer : cert, cert, nullptr, nullptr, 0);
    for (const QString &line : extensions) {
        const QByteArray field = line.section('=', 0, 0).toLatin1();
        const QByteArray value = line.section('=', 1).toLatin1();
        const Extension extension(
            X509V3_EXT_nconf(nullptr, &context, field.constData(), value.constData()));
        if (!extension || !X509_add_ext(cert, extension.get(), -1))
            return failed(QStringLiteral("cannot add the extension %1").arg(line), errorText);
    }
    if (!X509_sign(cert, issuerKey ? issuerKey : key.get(), EVP_sha256()))
        return failed(QStringLiteral("cannot sign the certificate"), errorText);

    const Bio keyPem(BIO_new(BIO_s_mem()));
    const Bio certificatePem(BIO_new(BIO_s_mem()));
    if (!keyPem || !certificatePem ||
        !PEM_write_bio_PrivateKey(keyPem.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) ||
        !PEM_write_bio_X509(certificatePem.get(), cert))
        return failed(QStringLiteral("cannot write the key and certificate"), errorText);
    out.key = QSslKey(bioBytes(keyPem.get()), QSsl::Ec);
    out.certificate = QSslCertificate(bioBytes(certificatePem.get()));
    if (out.key.isNull() || out.certificate.isNull()) {
        errorText = QStringLiteral("Qt cannot read the key or certificate that libcrypto wrote");
        return false;
    }
    return true;
}

} // namespace

bool makeTestCa(TestIdentity &ca, QString &errorText)
{
    const QString name = QStringLiteral("update test CA ") + QUuid::createUuid().toString();
    return issue(name,
                 {QStringLiteral("basicConstraints=critical,CA:TRUE"),
                  QStringLiteral("keyUsage=critical,keyCertSign,cRLSign"),
                  QStringLiteral("subjectKeyIdentifier=hash")},
                 nullptr, nullptr, -1, 2, ca, errorText);
}

bool makeTestLeaf(const TestIdentity &issuer, const QStringList &subjectAltNames, int fromDays,
                  int untilDays, TestIdentity &leaf, QString &errorText)
{
    const Bio keyPem = readBio(issuer.key.toPem());
    const Bio certificatePem = readBio(issuer.certificate.toPem());
    const Key issuerKey(keyPem ? PEM_read_bio_PrivateKey(keyPem.get(), nullptr, nullptr, nullptr)
                               : nullptr);
    const Certificate issuerCertificate(
        certificatePem ? PEM_read_bio_X509(certificatePem.get(), nullptr, nullptr, nullptr)
                       : nullptr);
    if (!issuerKey || !issuerCertificate)
        return failed(QStringLiteral("cannot read the issuer's key and certificate"), errorText);

    QStringList extensions{QStringLiteral("basicConstraints=critical,CA:FALSE"),
                           QStringLiteral("keyUsage=critical,digitalSignature"),
                           QStringLiteral("extendedKeyUsage=serverAuth"),
                           QStringLiteral("subjectKeyIdentifier=hash"),
                           QStringLiteral("authorityKeyIdentifier=keyid")};
    if (!subjectAltNames.isEmpty())
        extensions.append(QStringLiteral("subjectAltName=") + subjectAltNames.join(','));
    return issue(QStringLiteral("update test server"), extensions, issuerCertificate.get(),
                 issuerKey.get(), fromDays, untilDays, leaf, errorText);
}
