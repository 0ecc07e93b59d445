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

bool isUpToDate(const FileEntry &entry, const FileTable &saved, const QDir &installDir)
{
    // Unsafe paths are left to the download stage, which refuses them with its own message;
    // whatever they point at is never opened here.
    if (!isSafeListPath(entry.path)) {
        return false;
    }
    const auto known = saved.constFind(entry.path);
    if (known != saved.cend()) {
        return known->md5 == entry.md5;
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
