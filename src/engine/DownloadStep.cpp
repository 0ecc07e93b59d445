#include "CDownloadThread.h"

#include "DownloadSink.h"
#include "FileDigests.h"
#include "FileMoves.h"
#include "Md5Text.h"
#include "SafePath.h"
#include "Transfer.h"
#include "UserTexts.h"

#include <QFile>

namespace {

// The folders on the way to an entry must be real folders of the cache. A link among them is
// removed (the link itself, never what it points at); false when one cannot be removed.
bool removeLinksOnTheWay(const QDir &cacheDir, const QString &path)
{
    QStringList parts = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    parts.removeLast();
    QString folder;
    for (const QString &part : qAsConst(parts)) {
        folder += folder.isEmpty() ? part : QLatin1Char('/') + part;
        const QFileInfo info(cacheDir.absoluteFilePath(folder));
        if (isLink(info) && !QFile::remove(info.absoluteFilePath()) &&
            !QDir().rmdir(info.absoluteFilePath())) {
            return false;
        }
    }
    return true;
}

// A copy that an earlier attempt received whole but did not place passes the same checks as a
// download; one that fails them is fetched again from its start.
bool placeFinishedCopy(DownloadSink &copy, const FileEntry &entry, const QString &target)
{
    if (copy.resumedFrom() == 0 || static_cast<quint64>(copy.resumedFrom()) != entry.size) {
        return false;
    }
    if (copy.matches(entry) && copy.moveTo(target)) {
        return true;
    }
    copy.dropEarlierBytes();
    return false;
}

} // namespace

// Keeps up to `connections` transfers in flight, in list order; installs once every file is in
// the cache.
void CDownloadThread::fillTransfers()
{
    while (!stopped && int(inFlight.size()) < connections && nextIndex < files.size()) {
        // Valid cached files are passed here without a trip through the event loop.
        if (!prepareEntry(nextIndex++)) {
            return;
        }
    }
    if (!stopped && inFlight.empty() && nextIndex >= files.size()) {
        runRateTimer.stop();
        installFiles();
    }
}

// Sends the entry's request, or counts it done when the cache already holds it. False when the
// entry failed the run.
bool CDownloadThread::prepareEntry(int index)
{
    const FileEntry entry = files[index];
    const QFileInfo cacheFile(cacheDir.absoluteFilePath(entry.path));

    const QString place = QDir::cleanPath(entry.path).toCaseFolded();
    if (!isSafeListPath(entry.path) || placesSeen.contains(place)) {
        reportFailure(cacheFile, userText(UserText::FilePathInvalid).arg(entry.path));
        return false;
    }
    placesSeen.insert(place);
    if (!removeLinksOnTheWay(cacheDir, entry.path)) {
        reportFailure(cacheFile, userText(UserText::PathInUse).arg(cacheFile.absoluteFilePath()));
        return false;
    }
    if (isValidInCache(cacheFile, entry)) {
        fileDone(index);
        return true;
    }
    if (!clearCachePlace(cacheFile)) {
        reportFailure(cacheFile, userText(UserText::PathInUse).arg(cacheFile.absoluteFilePath()));
        return false;
    }
    auto sink = std::make_unique<DownloadSink>(cacheDir, entry);
    if (placeFinishedCopy(*sink, entry, cacheFile.absoluteFilePath())) {
        fileDone(index);
        return true;
    }
    sendRequest(index, std::move(sink));
    return !stopped;
}

bool CDownloadThread::isValidInCache(const QFileInfo &cacheFile, const FileEntry &entry) const
{
    if (isLink(cacheFile) || !cacheFile.isFile()) {
        return false;
    }
    return entry.sha256.isEmpty()
               ? fileMatchesMd5(cacheFile.absoluteFilePath(), entry.md5)
               : fileMatchesMd5AndSha256(cacheFile.absoluteFilePath(), entry.md5, entry.sha256);
}

// Makes room for the download. A stale regular file stays until the new data replaces it.
bool CDownloadThread::clearCachePlace(const QFileInfo &cacheFile) const
{
    const QString path = cacheFile.absoluteFilePath();
    // A link is removed, never followed: removing recursively through a link to a directory
    // would empty a directory outside the cache.
    if (isLink(cacheFile)) {
        return QFile::remove(path) || QDir().rmdir(path);
    }
    if (cacheFile.isFile()) {
        return true;
    }
    if (cacheFile.isDir()) {
        return QDir(path).removeRecursively();
    }
    if (cacheFile.exists()) {
        return QFile::remove(path);
    }
    // A directory that cannot be created shows up as the write failure once the data passed.
    if (!cacheFile.absoluteDir().exists()) {
        QDir().mkpath(cacheFile.absolutePath());
    }
    return true;
}

void CDownloadThread::fileDone(int index)
{
    ++filesDone;
    bytesDone += qint64(files[index].size);
}
