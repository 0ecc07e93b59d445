#include "CDownloadThread.h"

#include "DownloadSink.h"
#include "FileDigests.h"
#include "FileMoves.h"
#include "Md5Text.h"
#include "RangeRequest.h"
#include "RedirectPolicy.h"
#include "SafePath.h"

#include <QFile>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>
#include <QVariant>

namespace {

constexpr int AcceptedStatus = 200;
constexpr int PartialStatus = 206;
constexpr int RangeNotSatisfiableStatus = 416;

// What the network layer may hold for one reply before it stops reading from the socket.
constexpr qint64 ReadBufferBytes = qint64(1024) * 1024;
constexpr qint64 ChunkBytes = qint64(64) * 1024;

int statusOf(const QNetworkReply &reply)
{
    return reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
}

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

bool matchesEntry(DownloadSink &copy, const FileEntry &entry)
{
    // A signed publication's file must match its SHA-256 text as well: MD5 alone is no
    // protection against a file made to collide with the listed one.
    return copy.md5Text() == entry.md5 &&
           (entry.sha256.isEmpty() || copy.sha256Text() == entry.sha256);
}

// A copy that an earlier attempt received whole but did not place passes the same checks as a
// download; one that fails them is fetched again from its start.
bool placeFinishedCopy(DownloadSink &copy, const FileEntry &entry, const QString &target)
{
    if (copy.resumedFrom() == 0 || static_cast<quint64>(copy.resumedFrom()) != entry.size) {
        return false;
    }
    if (matchesEntry(copy, entry) && copy.moveTo(target)) {
        return true;
    }
    copy.dropEarlierBytes();
    return false;
}

// The first 200 or 206 decides what happens to the copy: a 200 brings the whole file, so the
// copy starts again; a 206 counts only as the rest of the same copy.
bool takeAnswer(const QNetworkReply &reply, DownloadSink &into, quint64 size)
{
    if (into.isSettled()) {
        return true;
    }
    if (statusOf(reply) == AcceptedStatus) {
        into.takeWholeFile(validatorOf(reply));
        return true;
    }
    if (isRestOf(reply, into.resumedFrom(), size, into.validator())) {
        into.takeRest();
        return true;
    }
    return false;
}

} // namespace

void CDownloadThread::downloadNext()
{
    // Valid cached files are skipped here without a trip through the event loop.
    for (; currentIndex < files.size(); ++currentIndex) {
        const FileEntry entry = files[currentIndex];
        const QFileInfo cacheFile(cacheDir.absoluteFilePath(entry.path));

        const QString place = QDir::cleanPath(entry.path).toCaseFolded();
        if (!isSafeListPath(entry.path) || placesSeen.contains(place)) {
            reportFailure(cacheFile, tr("更新文件%1路径不合法").arg(entry.path));
            return;
        }
        placesSeen.insert(place);
        if (!removeLinksOnTheWay(cacheDir, entry.path)) {
            reportFailure(cacheFile,
                          tr("路径%1被占用，无法删除!").arg(cacheFile.absoluteFilePath()));
            return;
        }
        if (isValidInCache(cacheFile, entry)) {
            continue;
        }
        if (!clearCachePlace(cacheFile)) {
            reportFailure(cacheFile,
                          tr("路径%1被占用，无法删除!").arg(cacheFile.absoluteFilePath()));
            return;
        }
        sink = std::make_unique<DownloadSink>(cacheDir, entry);
        if (placeFinishedCopy(*sink, entry, cacheFile.absoluteFilePath())) {
            sink.reset();
            continue;
        }
        sendRequest(entry, cacheFile);
        return;
    }
    installFiles();
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

void CDownloadThread::sendRequest(const FileEntry &entry, const QFileInfo &cacheFile)
{
    emit downloadStarted(cacheFile, currentIndex, files.size());

    QNetworkRequest request(QUrl(baseUrl + entry.path, QUrl::TolerantMode));
    applyRedirectPolicy(request);
    // A compressed answer counts as the bytes it is; Qt would inflate what it asked for itself.
    request.setRawHeader(QByteArrayLiteral("Accept-Encoding"), QByteArrayLiteral("identity"));
    if (sink->resumedFrom() > 0) {
        askForRest(request, sink->resumedFrom(), sink->validator());
    }
    QNetworkReply *reply = manager->get(request);
    if (!reply) {
        sink.reset();
        reportFailure(cacheFile, tr("下载更新文件%1失败").arg(cacheFile.fileName()));
        return;
    }
    // Back-pressure: the data is taken as it arrives, so memory stays bounded.
    reply->setReadBufferSize(ReadBufferBytes);

    // Connected first: it sees every byte before the data handler, which may end the transfer.
    watch = std::make_unique<TransferWatch>(reply, limits);
    connect(reply, &QNetworkReply::readyRead, this, &CDownloadThread::receiveData);
    connect(reply, &QNetworkReply::downloadProgress, this, [this](qint64 done, qint64 all) {
        // A continued copy counts the bytes an earlier attempt brought.
        const qint64 before = sink && sink->isSettled() ? sink->resumedFrom() : 0;
        emit downloadProgress(before + done, all < 0 ? all : before + all);
    });
    connect(reply, &QNetworkReply::finished, this, &CDownloadThread::onReplyFinished);

    transfer = reply;
}

void CDownloadThread::receiveData()
{
    if (transfer && sender() == transfer) {
        readAvailable(*transfer, *sink, true);
    }
}

// Only the body of the answer that carries the file is kept; redirect and error bodies are read
// and dropped.
void CDownloadThread::readAvailable(QNetworkReply &reply, DownloadSink &into,
                                    bool abortWhenTooLarge)
{
    // An aborted reply is closed and has nothing left to read.
    if (!reply.isOpen()) {
        return;
    }
    const quint64 expected = files[currentIndex].size;
    const bool counts = takeAnswer(reply, into, expected);
    if (!counts && statusOf(reply) == PartialStatus) {
        // Not the rest of the copy: nothing of it is of use, so there is no point waiting for it.
        reply.abort();
        return;
    }
    for (;;) {
        // Its own array per chunk, so that a hash on another thread can share it.
        const QByteArray chunk = reply.read(ChunkBytes);
        if (chunk.isEmpty()) {
            return;
        }
        if (!counts) {
            continue;
        }
        into.append(chunk);
        if (abortWhenTooLarge && static_cast<quint64>(into.size()) > expected) {
            // Finishes the reply at once; the size check then fails it.
            reply.abort();
            return;
        }
    }
}

void CDownloadThread::onReplyFinished()
{
    auto *reply = qobject_cast<QNetworkReply *>(sender());
    if (!reply) {
        return;
    }
    disconnect(reply, nullptr, this, nullptr);
    transfer = nullptr;

    acceptTransfer(*reply);
    reply->deleteLater();
}

// Checks in the order status, size, MD5 text (and SHA-256 text when listed), write; the first
// failure ends the run.
void CDownloadThread::acceptTransfer(QNetworkReply &reply)
{
    const FileEntry entry = files[currentIndex];
    const QFileInfo cacheFile(cacheDir.absoluteFilePath(entry.path));
    const std::unique_ptr<DownloadSink> received = std::move(sink);
    readAvailable(reply, *received, false);

    const std::unique_ptr<TransferWatch> watched = std::move(watch);
    const int status = statusOf(reply);
    if (!received->isSettled() || watched->endedTransfer()) {
        const bool misfit = status == PartialStatus && !isRestOf(reply, received->resumedFrom(),
                                                                 entry.size, received->validator());
        // The copy cannot be continued from where it stands.
        if (misfit || status == RangeNotSatisfiableStatus) {
            received->discard();
        }
        reportFailure(cacheFile,
                      tr("下载更新文件%1网络错误：%2-%3")
                          .arg(cacheFile.fileName())
                          .arg(status)
                          .arg(misfit ? QStringLiteral("the partial answer does not continue "
                                                       "the partial download")
                                      : watched->failureText()));
        return;
    }
    const qint64 size = received->size();
    if (static_cast<quint64>(size) != entry.size) {
        // A transfer cut short leaves what it brought to the next attempt; a whole answer of
        // another size is of no use.
        if (static_cast<quint64>(size) > entry.size ||
            !wasCutShort(reply, size - received->resumedFrom())) {
            received->discard();
        }
        reportFailure(cacheFile, tr("下载更新文件%1大小不对").arg(cacheFile.fileName()));
        return;
    }
    if (!matchesEntry(*received, entry)) {
        reportFailure(cacheFile, tr("更新文件%1校验不对").arg(cacheFile.fileName()));
        return;
    }
    if (!received->moveTo(cacheFile.absoluteFilePath())) {
        reportFailure(cacheFile, tr("更新文件%1写入失败").arg(cacheFile.fileName()));
        return;
    }
    ++currentIndex;
    downloadNext();
}
