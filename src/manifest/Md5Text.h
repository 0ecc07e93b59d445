#pragma once

#include <QByteArray>
#include <QString>

// The 32-character MD5 text: the digest as four little-endian 32-bit words, each "%08x".
constexpr int Md5TextLength = 32;

QByteArray md5Text(QByteArray data);

// MD5 text of a raw 16-byte digest (as from QCryptographicHash::result()); empty for any other
// length.
QByteArray md5TextFromDigest(const QByteArray &digest);

// True when `path` is a regular file that can be read and whose MD5 text equals `expected`
// byte for byte. The file is hashed in bounded chunks.
bool fileMatchesMd5(QString path, QByteArray expected);
