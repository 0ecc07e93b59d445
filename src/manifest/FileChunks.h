#pragma once

#include <QString>

#include <functional>

// The chunk every file read for hashing uses. Large reads keep the per-call overhead negligible
// next to hashing, while memory use stays the same for a file of a few bytes and one of several
// GiB.
constexpr qint64 FileChunkBytes = qint64(512) * 1024;

// Feeds the whole content of a regular file to `consume`, in bounded chunks, so that a file of
// any size needs only a small buffer. False when `path` is not a regular file (a FIFO or device
// could block forever or never end) or cannot be read to its end.
bool readFileInChunks(const QString &path, const std::function<void(const char *, int)> &consume);
