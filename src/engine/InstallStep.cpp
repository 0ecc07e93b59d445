#include "CDownloadThread.h"

#include <QFile>
#include <QFileInfo>

#include <cstdio>
#ifdef Q_OS_WIN
#include <QDir>
#include <string>
#endif

namespace {

// Windows refuses to delete a read-only file, and a file installed read-only keeps that
// attribute when it is moved aside, so every later update would stop at its old copy.
bool removeOldCopy(const QString &path)
{
    if (QFile::remove(path)) {
        return true;
    }
    const QFile::Permissions permissions = QFile::permissions(path);
    return !(permissions & QFile::WriteUser) &&
           QFile::setPermissions(path, permissions | QFile::WriteUser) && QFile::remove(path);
}

// exists() follows links, so a link whose target is missing would count as free, and the final
// move would then write through it to wherever it points.
bool isPresent(const QFileInfo &info)
{
    return info.exists() || info.isSymLink();
}

// The C runtime's rename moves a directory standing at a listed path as well as a file.
bool moveAside(const QString &from, const QString &to)
{
#ifdef Q_OS_WIN
    // The narrow rename takes names in the ANSI code page, which cannot hold every name a
    // release may carry (Chinese names on an English system); the wide one takes them all.
    const std::wstring nativeFrom = QDir::toNativeSeparators(from).toStdWString();
    const std::wstring nativeTo = QDir::toNativeSeparators(to).toStdWString();
    return ::_wrename(nativeFrom.c_str(), nativeTo.c_str()) == 0;
#else
    return ::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
#endif
}

} // namespace

void CDownloadThread::installFiles()
{
    for (const FileEntry &entry : qAsConst(files)) {
        const QString source = cacheDir.absoluteFilePath(entry.path);
        const QFileInfo installedFile(installDir.absoluteFilePath(entry.path));

        if (isPresent(installedFile)) {
            const QFileInfo asideFile(
                installDir.absoluteFilePath(entry.path + QStringLiteral(".old")));
            if (isPresent(asideFile) && !removeOldCopy(asideFile.absoluteFilePath())) {
                reportFailure(installedFile, tr("删除文件%1失败").arg(asideFile.fileName()));
                return;
            }
            if (!moveAside(installedFile.absoluteFilePath(), asideFile.absoluteFilePath())) {
                reportFailure(installedFile, tr("重命名%1为%2失败")
                                                 .arg(installedFile.absoluteFilePath(),
                                                      asideFile.absoluteFilePath()));
                return;
            }
        } else if (!installedFile.absoluteDir().exists() &&
                   !installDir.mkpath(installedFile.absolutePath())) {
            reportFailure(installedFile, tr("创建目录%1失败").arg(installedFile.absolutePath()));
            return;
        }

        if (!QFile::rename(source, installedFile.absoluteFilePath())) {
            reportFailure(installedFile, tr("覆盖文件%1失败").arg(installedFile.fileName()));
            return;
        }
    }

    success.store(true);
    message = tr("更新成功");
    endRun();
}
