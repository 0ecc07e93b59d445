#include "UpdatePlan.h"

#include "FileNames.h"
#include "Md5Text.h"
#include "SafePath.h"

#include <QFile>
#include <QFileInfo>

namespace {

FileTable readSavedList(const QDir &installDir)
{
    const QString path = installDir.absoluteFilePath(SavedListFileName);
    // The same guard as for hashed files: a FIFO in its place must not stall the check.
    if (!QFileInfo(path).isFile()) {
        return FileTable();
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return FileTable();
    }
    return parseFileList(file.readAll());
}

// Whether a file that the saved list vouches for still stands as listed: a regular file of the
// listed size. One stat and nothing read, so that the check stays fast; a file changed in place
// at the same size goes unnoticed. QFileInfo follows a link, so a link to a regular file counts
// as that file, the way the hashing below reads through it too.
bool standsAsListed(const QString &path, quint64 size)
{
    const QFileInfo info(path);
    return info.isFile() && quint64(info.size()) == size;
}

bool isUpToDate(const FileEntry &entry, const FileTable &saved, const QDir &installDir)
{
    // Unsafe paths are left to the download stage, which refuses them with its own message;
    // whatever they point at is never opened here.
    if (!isSafeListPath(entry.path)) {
        return false;
    }
    const auto known = saved.constFind(entry.path);
    if (known != saved.cend()) {
        return known->md5 == entry.md5 &&
               standsAsListed(installDir.absoluteFilePath(entry.path), entry.size);
    }
    return fileMatchesMd5(installDir.absoluteFilePath(entry.path), entry.md5);
}

} // namespace

FileTable planUpdate(FileTable remote, QDir installDir)
{
    const FileTable saved = readSavedList(installDir);
    FileTable plan;
    for (const FileEntry &entry : qAsConst(remote)) {
        if (!isUpToDate(entry, saved, installDir)) {
            plan.insert(entry.path, entry);
        }
    }
    return plan;
}
