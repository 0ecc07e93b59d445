#include "SavedList.h"

#include "FileNames.h"
#include "SafePath.h"

#include <QFile>
#include <QFileInfo>

#ifndef Q_OS_WIN
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

QByteArray readSavedBytes(const QDir &installDir)
{
    const QString path = installDir.absoluteFilePath(SavedListFileName);
    // The same guard as for hashed files: a FIFO in its place must not stall the check.
    if (!QFileInfo(path).isFile()) {
        return QByteArray();
    }
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// One stat a file below the installation root. A link is followed, so a link to a regular
// file counts as that file, the way hashing reads through it too.
class RootLook
{
public:
#ifdef Q_OS_WIN
    explicit RootLook(const QDir &folder) : root(folder) {}
#else
    explicit RootLook(const QDir &folder)
        : rootFd(::open(QFile::encodeName(folder.absolutePath()).constData(),
                        O_RDONLY | O_DIRECTORY | O_CLOEXEC))
    {}
#endif
    ~RootLook()
    {
#ifndef Q_OS_WIN
        if (rootFd >= 0) {
            ::close(rootFd);
        }
#endif
    }
    RootLook(const RootLook &) = delete;
    RootLook &operator=(const RootLook &) = delete;

    // The size of the regular file at `path`, relative to the root; -1 when there is none.
    qint64 regularFileSize(const QString &path) const
    {
#ifdef Q_OS_WIN
        const QFileInfo info(root.absoluteFilePath(path));
        return info.isFile() ? info.size() : -1;
#else
        // Without QFileInfo's own work around the call, which costs as much as the call, and
        // without walking the root's own path again for every file.
        struct stat status = {};
        const bool isFile =
            rootFd >= 0 &&
            ::fstatat(rootFd, QFile::encodeName(path).constData(), &status, 0) == 0 &&
            S_ISREG(status.st_mode);
        return isFile ? qint64(status.st_size) : -1;
#endif
    }

private:
#ifdef Q_OS_WIN
    const QDir &root;
#else
    const int rootFd;
#endif
};

} // namespace

SavedList::SavedList(const QDir &installDir)
    : root(installDir), bytes(readSavedBytes(installDir)), lead([this] { look(); })
{}

SavedList::~SavedList()
{
    finish();
}

bool SavedList::stillCurrent(const QDir &installDir) const
{
    return installDir.absolutePath() == root.absolutePath() && readSavedBytes(root) == bytes;
}

void SavedList::look()
{
    table = parseFileList(bytes);
    sizes.reserve(size_t(table.size()));
    const RootLook disk(root);
    for (auto it = table.cbegin(); it != table.cend(); ++it) {
        // Whatever an unsafe path points at is never looked at.
        sizes.push_back(isSafeListPath(it.key()) ? disk.regularFileSize(it.key()) : -1);
    }
}

void SavedList::finish()
{
    if (lead.joinable()) {
        lead.join();
    }
}

const FileTable &SavedList::entries()
{
    finish();
    return table;
}

qint64 SavedList::sizeOnDisk(int position)
{
    finish();
    return sizes.at(size_t(position));
}
