#pragma once

#include <QString>

#include <functional>

// Feeds the whole content of a regular file to `consume`, in bounded chunks, so that a file of
// any size needs only a small buffer. False when `path` is not a regular file (a FIFO or device
// could block forever or never end) or cannot be read to its end.
bool readFileInChunks(const QString &path, const std::function<void(const char *, int)> &consume);
