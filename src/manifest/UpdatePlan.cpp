#include "UpdatePlan.h"

#include "Md5Text.h"
#include "SafePath.h"

FileTable planUpdate(FileTable remote, QDir installDir)
{
    SavedList saved(installDir);
    return planUpdate(remote, installDir, saved);
}

FileTable planUpdate(const FileTable &remote, const QDir &installDir, SavedList &saved)
{
    FileTable plan;
    // Both tables are in path order, so one walk along both finds each saved entry.
    const FileTable &savedEntries = saved.entries();
    auto known = savedEntries.cbegin();
    int position = 0;
    for (const FileEntry &entry : remote) {
        // Unsafe paths are left to the download stage, which refuses them with its own message;
        // whatever they point at is never opened here.
        if (!isSafeListPath(entry.path)) {
            plan.insert(entry.path, entry);
            continue;
        }
        for (; known != savedEntries.cend() && known.key() < entry.path; ++known) {
            ++position;
        }
        bool upToDate = false;
        if (known != savedEntries.cend() && known.key() == entry.path) {
            // The saved list vouches for the content; the disk must still hold a regular file
            // of the listed size. A file changed in place at the same size goes unnoticed.
            const qint64 size = saved.sizeOnDisk(position);
            upToDate = known->md5 == entry.md5 && size >= 0 && quint64(size) == entry.size;
        } else {
            upToDate = fileMatchesMd5(installDir.absoluteFilePath(entry.path), entry.md5);
        }
        if (!upToDate) {
            plan.insert(entry.path, entry);
        }
    }
    return plan;
}
