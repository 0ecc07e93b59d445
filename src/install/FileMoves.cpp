#include "FileMoves.h"

#include "FileChunks.h"

#include <QDir>
#include <QFile>
#include <QStringList>

#include <cstdio>
#ifdef Q_OS_WIN
#include <io.h>
#include <string>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

// Windows refuses to delete a read-only file, and an installed file keeps that attribute when
// it is moved aside.
bool removeFile(const QString &path)
{
    if (QFile::remove(path)) {
        return true;
    }
    const QFile::Permissions permissions = QFile::permissions(path);
    return !(permissions & QFile::WriteUser) &&
           QFile::setPermissions(path, permissions | QFile::WriteUser) && QFile::remove(path);
}

} // namespace

bool isLink(const QFileInfo &info)
{
    return info.isSymLink() || info.isJunction();
}

bool isPresent(const QFileInfo &info)
{
    return info.exists() || info.isSymLink();
}

bool isPresent(const QString &path)
{
    return isPresent(QFileInfo(path));
}

bool renamePath(const QString &from, const QString &to)
{
#ifdef Q_OS_WIN
    // The narrow rename takes names in the ANSI code page, which cannot hold every name a
    // release may carry (Chinese names on an English system); the wide one takes them all.
    const std::wstring nativeFrom = QDir::toNativeSeparators(from).toStdWString();
    const std::wstring nativeTo = QDir::toNativeSeparators(to).toStdWString();
    return ::_wrename(nativeFrom.c_str(), nativeTo.c_str()) == 0;
#else
    // rename() would silently replace a file standing at the target.
    if (isPresent(to)) {
        return false;
    }
    return ::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
#endif
}

bool copyFile(const QString &from, const QString &to)
{
    QFile source(from);
    QFile target(to);
    if (!QFileInfo(from).isFile() || !source.open(QIODevice::ReadOnly) ||
        !target.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        return false;
    }
    bool written = true;
    for (;;) {
        const QByteArray chunk = source.read(FileChunkBytes);
        if (chunk.isEmpty()) {
            break;
        }
        if (target.write(chunk) != chunk.size()) {
            written = false;
            break;
        }
    }
    written = written && source.error() == QFileDevice::NoError && source.atEnd() && target.flush();
    target.close();
    if (!written || target.error() != QFileDevice::NoError) {
        QFile::remove(to);
        return false;
    }
    return true;
}

bool syncFiles(const QStringList &paths)
{
#ifdef Q_OS_WIN
    // Windows flushes file by file, and only through a handle that may write.
    for (const QString &path : paths) {
        QFile file(path);
        if (!file.open(QIODevice::ReadWrite) ||
            !FlushFileBuffers(reinterpret_cast<HANDLE>(_get_osfhandle(file.handle())))) {
            return false;
        }
    }
    return true;
#else
    // One flush of the whole volume costs what one file's flush costs, not one per file.
    if (paths.isEmpty()) {
        return true;
    }
    QFile file(paths.first());
    return file.open(QIODevice::ReadOnly) && ::syncfs(file.handle()) == 0;
#endif
}

bool removeTree(const QString &path)
{
    const QFileInfo info(path);
    if (isLink(info)) {
        return QFile::remove(path) || QDir().rmdir(path);
    }
    if (info.isDir()) {
        const QStringList names = QDir(path).entryList(QDir::AllEntries | QDir::Hidden |
                                                       QDir::System | QDir::NoDotAndDotDot);
        bool removed = true;
        for (const QString &name : names) {
            removed = removeTree(path + QLatin1Char('/') + name) && removed;
        }
        return removed && QDir().rmdir(path);
    }
    return !info.exists() || removeFile(path);
}
