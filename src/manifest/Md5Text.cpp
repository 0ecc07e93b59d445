#include "Md5Text.h"

#include "FileChunks.h"

#include <QCryptographicHash>

QByteArray md5Text(QByteArray data)
{
    return md5TextFromDigest(QCryptographicHash::hash(data, QCryptographicHash::Md5));
}

QByteArray md5TextFromDigest(const QByteArray &digest)
{
    static const char HexDigits[] = "0123456789abcdef";
    if (digest.size() != Md5TextLength / 2) {
        return QByteArray();
    }
    QByteArray text(Md5TextLength, '0');
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
    QCryptographicHash hash(QCryptographicHash::Md5);
    if (!readFileInChunks(path,
                          [&hash](const char *data, int length) { hash.addData(data, length); })) {
        return false;
    }
    return md5TextFromDigest(hash.result()) == expected;
}
