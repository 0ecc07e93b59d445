#pragma once

#include <QByteArray>

// Test content whose bytes follow their offset, so a lost, doubled or reordered chunk changes
// every digest of it; another seed gives different content of the same size.
inline QByteArray patterned(int size, int seed = 0)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        bytes[i] = char((i * 7 + i / 251 + seed * 13) & 0xff);
    return bytes;
}
