#include "FileDigests.h"

#include "Md5Text.h"
#include "Sha256Text.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>

#include <memory>

namespace {

constexpr qint64 ChunkSize = 512 * 1024;

} // namespace

bool fileMatchesMd5AndSha256(const QString &path, const QByteArray &md5, const QByteArray &sha256)
{
    // Neither text can match anything unless it has its form, so such a file is never read.
    if (md5.size() != 32 || !isSha256Text(sha256) || !QFileInfo(path).isFile()) {
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        return false;
    }
    QCryptographicHash md5Hash(QCryptographicHash::Md5);
    Sha256Hash sha256Hash;
    const std::unique_ptr<char[]> buffer(new char[ChunkSize]);
    for (;;) {
        const qint64 got = file.read(buffer.get(), ChunkSize);
        if (got < 0) {
            return false;
        }
        if (got == 0) {
            break;
        }
        md5Hash.addData(buffer.get(), int(got));
        sha256Hash.addData(buffer.get(), got);
    }
    return md5TextFromDigest(md5Hash.result()) == md5 && sha256Hash.text() == sha256;
}
