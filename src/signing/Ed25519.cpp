#include "Ed25519.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include <memory>

namespace {

constexpr int PublicKeyBytes = 32;
constexpr int SignatureBytes = 64;

struct KeyFree
{
    void operator()(EVP_PKEY *key) const { EVP_PKEY_free(key); }
};
struct MdContextFree
{
    void operator()(EVP_MD_CTX *context) const { EVP_MD_CTX_free(context); }
};
struct BioFree
{
    void operator()(BIO *bio) const { BIO_free(bio); }
};
using Key = std::unique_ptr<EVP_PKEY, KeyFree>;
using MdContext = std::unique_ptr<EVP_MD_CTX, MdContextFree>;
using Bio = std::unique_ptr<BIO, BioFree>;

// libcrypto's own reason for the last failure, and its queue emptied for the next call.
QString cryptoError(const QString &what)
{
    const unsigned long code = ERR_peek_last_error();
    ERR_clear_error();
    if (code == 0) {
        return what;
    }
    char reason[256];
    ERR_error_string_n(code, reason, sizeof reason);
    return what + QStringLiteral(" (") + QString::fromLatin1(reason) + QLatin1Char(')');
}

// Strict: the text must be exactly what encoding the decoded bytes gives back.
bool decodeBase64(const QByteArray &text, int expectedBytes, QByteArray &bytes)
{
    const auto result =
        QByteArray::fromBase64Encoding(text, QByteArray::AbortOnBase64DecodingErrors);
    if (!result || result.decoded.size() != expectedBytes || result.decoded.toBase64() != text) {
        return false;
    }
    bytes = result.decoded;
    return true;
}

// An encrypted key would make libcrypto ask for a passphrase on the terminal; refusing the
// request turns that into an ordinary failure.
int noPassphrase(char *, int, int, void *)
{
    return -1;
}

bool readPrivateKey(const QByteArray &pem, Key &key, QString &errorText)
{
    const Bio bio(BIO_new_mem_buf(pem.constData(), pem.size()));
    if (!bio) {
        errorText = cryptoError(QStringLiteral("cannot read the private key"));
        return false;
    }
    key.reset(PEM_read_bio_PrivateKey(bio.get(), nullptr, noPassphrase, nullptr));
    if (!key) {
        errorText = cryptoError(
            QStringLiteral("the key file does not hold an unencrypted PEM private key"));
        return false;
    }
    if (!EVP_PKEY_is_a(key.get(), "ED25519")) {
        errorText = QStringLiteral("the key file holds a %1 key, not an Ed25519 key")
                        .arg(QString::fromLatin1(EVP_PKEY_get0_type_name(key.get())));
        return false;
    }
    return true;
}

bool rawPublicKey(EVP_PKEY *key, QByteArray &publicKeyBase64, QString &errorText)
{
    unsigned char raw[PublicKeyBytes];
    size_t length = sizeof raw;
    if (EVP_PKEY_get_raw_public_key(key, raw, &length) != 1 || length != sizeof raw) {
        errorText = cryptoError(QStringLiteral("cannot read the public key"));
        return false;
    }
    publicKeyBase64 = QByteArray(reinterpret_cast<const char *>(raw), int(length)).toBase64();
    return true;
}

} // namespace

bool generateKeyPair(QByteArray &privateKeyPem, QByteArray &publicKeyBase64, QString &errorText)
{
    const Key key(EVP_PKEY_Q_keygen(nullptr, nullptr, "ED25519"));
    if (!key) {
        errorText = cryptoError(QStringLiteral("cannot generate an Ed25519 key"));
        return false;
    }
    const Bio bio(BIO_new(BIO_s_mem()));
    if (!bio || PEM_write_bio_PrivateKey(bio.get(), key.get(), nullptr, nullptr, 0, nullptr,
                                         nullptr) != 1) {
        errorText = cryptoError(QStringLiteral("cannot encode the private key"));
        return false;
    }
    char *data = nullptr;
    const long length = BIO_get_mem_data(bio.get(), &data);
    if (!rawPublicKey(key.get(), publicKeyBase64, errorText)) {
        return false;
    }
    privateKeyPem = QByteArray(data, int(length));
    return true;
}

bool publicKeyOf(const QByteArray &privateKeyPem, QByteArray &publicKeyBase64, QString &errorText)
{
    Key key;
    return readPrivateKey(privateKeyPem, key, errorText) &&
           rawPublicKey(key.get(), publicKeyBase64, errorText);
}

bool signData(const QByteArray &privateKeyPem, const QByteArray &data, QByteArray &signatureBase64,
              QString &errorText)
{
    Key key;
    if (!readPrivateKey(privateKeyPem, key, errorText)) {
        return false;
    }
    const MdContext context(EVP_MD_CTX_new());
    unsigned char signature[SignatureBytes];
    size_t length = sizeof signature;
    // Ed25519 hashes internally, so no digest is named.
    if (!context || EVP_DigestSignInit(context.get(), nullptr, nullptr, nullptr, key.get()) != 1 ||
        EVP_DigestSign(context.get(), signature, &length,
                       reinterpret_cast<const unsigned char *>(data.constData()),
                       size_t(data.size())) != 1 ||
        length != sizeof signature) {
        errorText = cryptoError(QStringLiteral("cannot sign"));
        return false;
    }
    signatureBase64 = QByteArray(reinterpret_cast<const char *>(signature), int(length)).toBase64();
    return true;
}

bool isValidPublicKey(const QByteArray &publicKeyBase64)
{
    QByteArray raw;
    return decodeBase64(publicKeyBase64, PublicKeyBytes, raw);
}

bool verifySignature(const QByteArray &publicKeyBase64, const QByteArray &data,
                     const QByteArray &signatureBase64)
{
    QByteArray raw;
    QByteArray signature;
    if (!decodeBase64(publicKeyBase64, PublicKeyBytes, raw) ||
        !decodeBase64(signatureBase64.trimmed(), SignatureBytes, signature)) {
        return false;
    }
    const Key key(EVP_PKEY_new_raw_public_key(
        EVP_PKEY_ED25519, nullptr, reinterpret_cast<const unsigned char *>(raw.constData()),
        size_t(raw.size())));
    const MdContext context(EVP_MD_CTX_new());
    const bool valid =
        key && context &&
        EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, key.get()) == 1 &&
        EVP_DigestVerify(
            context.get(), reinterpret_cast<const unsigned char *>(signature.constData()),
            size_t(signature.size()), reinterpret_cast<const unsigned char *>(data.constData()),
            size_t(data.size())) == 1;
    ERR_clear_error();
    return valid;
}
