#pragma once

#include <QByteArray>

#include <memory>

// The SHA-256 text of signed publications: the digest as 64 lower-case hexadecimal digits.
// Computed by libcrypto, whose SHA-256 uses the processor's SHA instructions where it has them.
constexpr int Sha256TextLength = 64;

class Sha256Hash
{
public:
    Sha256Hash();
    ~Sha256Hash();
    Sha256Hash(const Sha256Hash &) = delete;
    Sha256Hash &operator=(const Sha256Hash &) = delete;

    void addData(const char *data, qint64 length);
    // The text of everything added so far; the hash cannot be fed after this.
    QByteArray text();

private:
    struct Context;
    std::unique_ptr<Context> context;
};

QByteArray sha256Text(const QByteArray &data);

// Whether `text` has the form of a SHA-256 text; anything else can never match one.
bool isSha256Text(const QByteArray &text);
