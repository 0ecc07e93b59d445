#include "Md5Text.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>

#include <memory>

namespace {

// Large reads keep the per-call overhead negligible next to hashing, while memory use stays
// the same for a file of a few bytes and one of several GiB.
constexpr qint64 ChunkSize = 512 * 1024;

} // namespace

QByteArray md5Text(QByteArray data)
{
    return md5TextFromDigest(QCryptographicHash::hash(data, QCryptographicHash::Md5));
}

QByteArray md5TextFromDigest(const QByteArray &digest)
{
    static const char HexDigits[] = "0123456789abcdef";
    if (digest.size() != 16) {
        return QByteArray();
    }
    QByteArray text(32, '0');
    for (int group = 0; group < 4; ++group) {
        // Each group is a little-endian word printed most significant byte first.
        for (int i = 0; i < 4; ++i) {
            const auto byte = static_cast<unsigned char>(digest.at(group * 4 + 3 - i));
            text[group * 8 + i * 2] = HexDigits[byte >> 4];
            text[group * 8 + i * 2 + 1] = HexDigits[byte & 0x0f];
        }
    }
    return text;
}

bool fileMatchesMd5(QString path, QByteArray expected)
{
    // A FIFO or device could block forever or never end, so only regular files are opened.
    if (!QFileInfo(path).isFile()) {
        return false;
    }
    QFile file(path);
    // Unbuffered: the chunks go straight from the kernel into our buffer, not via QFile's.
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        return false;
    }
    QCryptographicHash hash(QCryptographicHash::Md5);
    const std::unique_ptr<char[]> buffer(new char[ChunkSize]);
    for (;;) {
        const qint64 got = file.read(buffer.get(), ChunkSize);
        if (got < 0) {
            return false;
        }
        if (got == 0) {
            break;
        }
        hash.addData(buffer.get(), static_cast<int>(got));
    }
    return md5TextFromDigest(hash.result()) == expected;
}
