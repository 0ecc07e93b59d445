#include "CopyHash.h"

#include "FileChunks.h"
#include "Md5Text.h"
#include "Sha256Text.h"
#include "ShownPath.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>

namespace {

bool writeAll(QFile &target, const char *data, qint64 length)
{
    while (length > 0) {
        const qint64 written = target.write(data, length);
        if (written <= 0) {
            return false;
        }
        data += written;
        length -= written;
    }
    return true;
}

} // namespace

FileCopier::FileCopier() : m_buffer(new char[FileChunkBytes]) {}

bool FileCopier::copy(const QString &sourcePath, const QString &targetPath, quint64 &size,
                      QByteArray &md5, QString &errorText, const ChunkDone &chunkDone,
                      QByteArray *sha256)
{
    // Checked again here: the release may have changed since it was scanned, and a FIFO put in
    // a file's place would block the run.
    if (!QFileInfo(sourcePath).isFile()) {
        errorText = QStringLiteral("%1 is no longer a regular file").arg(shownPath(sourcePath));
        return false;
    }
    QFile source(sourcePath);
    if (!source.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        errorText =
            QStringLiteral("cannot read %1: %2").arg(shownPath(sourcePath), source.errorString());
        return false;
    }
    QFile target(targetPath);
    if (!target.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered)) {
        errorText =
            QStringLiteral("cannot create %1: %2").arg(shownPath(targetPath), target.errorString());
        return false;
    }
    QCryptographicHash hash(QCryptographicHash::Md5);
    Sha256Hash sha256Hash;
    size = 0;
    for (;;) {
        const qint64 got = source.read(m_buffer.get(), FileChunkBytes);
        if (got < 0) {
            errorText = QStringLiteral("cannot read %1: %2")
                            .arg(shownPath(sourcePath), source.errorString());
            return false;
        }
        if (got == 0) {
            break;
        }
        if (!writeAll(target, m_buffer.get(), got)) {
            errorText = QStringLiteral("cannot write %1: %2")
                            .arg(shownPath(targetPath), target.errorString());
            return false;
        }
        hash.addData(m_buffer.get(), int(got));
        if (sha256) {
            sha256Hash.addData(m_buffer.get(), got);
        }
        size += quint64(got);
        if (chunkDone) {
            chunkDone(quint64(got));
        }
    }
    target.close();
    if (target.error() != QFileDevice::NoError) {
        errorText =
            QStringLiteral("cannot write %1: %2").arg(shownPath(targetPath), target.errorString());
        return false;
    }
    md5 = md5TextFromDigest(hash.result());
    if (sha256) {
        *sha256 = sha256Hash.text();
    }
    return true;
}
