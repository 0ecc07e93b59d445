#include "FileDigests.h"

#include "FileChunks.h"
#include "Md5Text.h"
#include "Sha256Text.h"

#include <QCryptographicHash>

bool fileMatchesMd5AndSha256(const QString &path, const QByteArray &md5, const QByteArray &sha256)
{
    // Neither text can match anything unless it has its form, so such a file is never read.
    if (md5.size() != Md5TextLength || !isSha256Text(sha256)) {
        return false;
    }
    QCryptographicHash md5Hash(QCryptographicHash::Md5);
    Sha256Hash sha256Hash;
    if (!readFileInChunks(path, [&](const char *data, int length) {
            md5Hash.addData(data, length);
            sha256Hash.addData(data, length);
        })) {
        return false;
    }
    return md5TextFromDigest(md5Hash.result()) == md5 && sha256Hash.text() == sha256;
}
