#include "Sha256Text.h"

#include <openssl/evp.h>

struct Sha256Hash::Context
{
    EVP_MD_CTX *md = EVP_MD_CTX_new();
    // A context that could not be set up yields an empty text, which matches nothing.
    bool usable = md && EVP_DigestInit_ex(md, EVP_sha256(), nullptr) == 1;

    ~Context() { EVP_MD_CTX_free(md); }
};

Sha256Hash::Sha256Hash() : context(std::make_unique<Context>()) {}

Sha256Hash::~Sha256Hash() = default;

void Sha256Hash::addData(const char *data, qint64 length)
{
    if (context->usable && length > 0) {
        context->usable = EVP_DigestUpdate(context->md, data, size_t(length)) == 1;
    }
}

QByteArray Sha256Hash::text()
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!context->usable || EVP_DigestFinal_ex(context->md, digest, &length) != 1) {
        context->usable = false;
        return QByteArray();
    }
    context->usable = false;
    return QByteArray(reinterpret_cast<const char *>(digest), int(length)).toHex();
}

QByteArray sha256Text(const QByteArray &data)
{
    Sha256Hash hash;
    hash.addData(data.constData(), data.size());
    return hash.text();
}

bool isSha256Text(const QByteArray &text)
{
    if (text.size() != Sha256TextLength) {
        return false;
    }
    for (const char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) {
            return false;
        }
    }
    return true;
}
