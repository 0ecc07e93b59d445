#pragma once

#include <QByteArray>
#include <QString>

// Ed25519 signatures over exact bytes, every operation by libcrypto. Public keys and signatures
// travel as base64 text of their raw bytes (32 and 64); the private key is a PEM (PKCS #8)
// document that never leaves the vendor.

// A new key pair: the private key as PEM, the public key as base64.
bool generateKeyPair(QByteArray &privateKeyPem, QByteArray &publicKeyBase64, QString &errorText);

// The base64 public key that belongs to a PEM private key.
bool publicKeyOf(const QByteArray &privateKeyPem, QByteArray &publicKeyBase64, QString &errorText);

// The base64 signature of `data`. Refuses anything but an unencrypted Ed25519 key.
bool signData(const QByteArray &privateKeyPem, const QByteArray &data, QByteArray &signatureBase64,
              QString &errorText);

// Whether the text is the canonical base64 of a 32-byte Ed25519 public key.
bool isValidPublicKey(const QByteArray &publicKeyBase64);

// True only for a well-formed key and a well-formed signature of exactly these bytes.
// Surrounding whitespace of the signature text (a file's line break) is ignored; any other
// deviation from canonical base64 fails.
bool verifySignature(const QByteArray &publicKeyBase64, const QByteArray &data,
                     const QByteArray &signatureBase64);
