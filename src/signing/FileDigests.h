#pragma once

#include <QByteArray>
#include <QString>

// fileMatchesMd5 for a signed publication's files: true when `path` is a readable regular file
// whose MD5 text equals `md5` and whose SHA-256 text equals `sha256`, both byte for byte. The
// file is read once, in bounded chunks, feeding both hashes.
bool fileMatchesMd5AndSha256(const QString &path, const QByteArray &md5, const QByteArray &sha256);
