#include "CDownloadThread.h"

#include "DownloadSink.h"
#include "RangeRequest.h"
#include "RequestPolicy.h"
#include "Transfer.h"
#include "UserTexts.h"

#include <QNetworkRequest>
#include <QUrl>
#include <QVariant>

#include <algorithm>

namespace {

constexpr int AcceptedStatus = 200;
constexpr int PartialStatus = 206;
constexpr int RangeNotSatisfiableStatus = 416;

// What the network layer may hold for one reply before it stops reading from the socket.
constexpr qint64 ReadBufferBytes = qint64(1024) * 1024;
// Larger files go over HTTP/1.1 connections of their own. Qt's HTTP/2 takes every frame off
// the connection whether or not the reply is read, so a file that arrives faster than it is
// hashed and written would pile up in memory; HTTP/1.1 leaves it in the socket. Small files,
// where the round trips are what costs, share the multiplexed connection.
constexpr quint64 MostHttp2Bytes = quint64(1024) * 1024;
constexpr qint64 ChunkBytes = qint64(64) * 1024;

int statusOf(const QNetworkReply &reply)
{
    return reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
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

void CDownloadThread::sendRequest(int index, std::unique_ptr<DownloadSink> sink)
{
    const FileEntry &entry = files[index];
    const QFileInfo cacheFile(cacheDir.absoluteFilePath(entry.path));
    emit downloadStarted(cacheFile, filesDone, files.size());

    QNetworkRequest request(QUrl(baseUrl + entry.path, QUrl::TolerantMode));
    applyRequestPolicy(request);
    if (entry.size > MostHttp2Bytes) {
        request.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
    }
    // A compressed answer counts as the bytes it is; Qt would inflate what it asked for itself.
    request.setRawHeader(QByteArrayLiteral("Accept-Encoding"), QByteArrayLiteral("identity"));
    if (sink->resumedFrom() > 0) {
        askForRest(request, sink->resumedFrom(), sink->validator());
    }
    QNetworkReply *reply = manager->get(request);
    if (!reply) {
        reportFailure(cacheFile, userText(UserText::FileDownloadFailed).arg(cacheFile.fileName()));
        return;
    }
    // Back-pressure: the data is taken as it arrives, so memory stays bounded.
    reply->setReadBufferSize(ReadBufferBytes);

    auto transfer = std::make_unique<Transfer>();
    transfer->index = index;
    transfer->reply = reply;
    transfer->sink = std::move(sink);
    TransferLimits own = limits;
    if (connections > 1) {
        // Transfers that share the link share its rate: the floor is the run's.
        own.floorBytesPerSecond = 0;
    }
    // Created first: it sees every byte before the data handler, which may end the transfer.
    transfer->watch = std::make_unique<TransferWatch>(reply, own);
    connect(reply, &QNetworkReply::readyRead, this, &CDownloadThread::receiveData);
    connect(reply, &QNetworkReply::downloadProgress, this, [this](qint64 done, qint64 all) {
        if (Transfer *t = transferOf(sender())) {
            noteProgress(*t, done, all);
        }
    });
    connect(reply, &QNetworkReply::finished, this, &CDownloadThread::onReplyFinished);
    inFlight.push_back(std::move(transfer));
}

CDownloadThread::Transfer *CDownloadThread::transferOf(QObject *reply) const
{
    for (const std::unique_ptr<Transfer> &transfer : inFlight) {
        if (transfer->reply == reply) {
            return transfer.get();
        }
    }
    return nullptr;
}

void CDownloadThread::receiveData()
{
    if (Transfer *transfer = transferOf(sender())) {
        readAvailable(*transfer, true);
    }
}

// Only the body of the answer that carries the file is kept; redirect and error bodies are read
// and dropped.
void CDownloadThread::readAvailable(Transfer &transfer, bool abortWhenTooLarge)
{
    QNetworkReply &reply = *transfer.reply;
    // An aborted reply is closed and has nothing left to read.
    if (!reply.isOpen()) {
        return;
    }
    DownloadSink &into = *transfer.sink;
    const quint64 expected = files[transfer.index].size;
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
        bytesArrived += chunk.size();
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

void CDownloadThread::noteProgress(Transfer &transfer, qint64 done, qint64 all)
{
    // A continued copy counts the bytes an earlier attempt brought.
    const qint64 before = transfer.sink->isSettled() ? transfer.sink->resumedFrom() : 0;
    emit downloadProgress(before + done, all < 0 ? all : before + all);
    transfer.received = before + std::max<qint64>(done, 0);
    qint64 received = bytesDone;
    for (const std::unique_ptr<Transfer> &t : inFlight) {
        received += std::min<qint64>(t->received, qint64(files[t->index].size));
    }
    emit updateProgress(received, bytesTotal);
}

void CDownloadThread::onReplyFinished()
{
    const auto found = std::find_if(inFlight.begin(), inFlight.end(),
                                    [this](const auto &t) { return t->reply == sender(); });
    if (found == inFlight.end()) {
        return;
    }
    const std::unique_ptr<Transfer> transfer = std::move(*found);
    inFlight.erase(found);
    disconnect(transfer->reply, nullptr, this, nullptr);
    transfer->reply->deleteLater();

    const bool accepted = acceptTransfer(*transfer);
    // The watch may be what ended the transfer, its timer still on the stack.
    transfer->watch.release()->deleteLater();
    if (accepted) {
        fileDone(transfer->index);
        fillTransfers();
    }
}

// Checks in the order status, size, MD5 text (and SHA-256 text when listed), write; the first
// failure ends the run.
bool CDownloadThread::acceptTransfer(Transfer &transfer)
{
    QNetworkReply &reply = *transfer.reply;
    readAvailable(transfer, false);
    const FileEntry &entry = files[transfer.index];
    const QFileInfo cacheFile(cacheDir.absoluteFilePath(entry.path));
    DownloadSink &received = *transfer.sink;

    const int status = statusOf(reply);
    if (!received.isSettled() || transfer.watch->endedTransfer()) {
        const bool misfit = status == PartialStatus && !isRestOf(reply, received.resumedFrom(),
                                                                 entry.size, received.validator());
        // The copy cannot be continued from where it stands.
        if (misfit || status == RangeNotSatisfiableStatus) {
            received.discard();
        }
        reportFailure(cacheFile,
                      userText(UserText::FileNetworkError)
                          .arg(cacheFile.fileName())
                          .arg(status)
                          .arg(misfit ? QStringLiteral("the partial answer does not continue "
                                                       "the partial download")
                                      : transfer.watch->failureText()));
        return false;
    }
    const qint64 size = received.size();
    if (static_cast<quint64>(size) != entry.size) {
        // A transfer cut short leaves what it brought to the next attempt; a whole answer of
        // another size is of no use.
        if (static_cast<quint64>(size) > entry.size ||
            !wasCutShort(reply, size - received.resumedFrom())) {
            received.discard();
        }
        reportFailure(cacheFile, userText(UserText::FileSizeWrong).arg(cacheFile.fileName()));
        return false;
    }
    if (!received.matches(entry)) {
        reportFailure(cacheFile, userText(UserText::FileChecksumWrong).arg(cacheFile.fileName()));
        return false;
    }
    if (!received.moveTo(cacheFile.absoluteFilePath())) {
        reportFailure(cacheFile, userText(UserText::FileWriteFailed).arg(cacheFile.fileName()));
        return false;
    }
    return true;
}

// The floor of transfers that share the link: a window in which no file was completed and all
// of them together brought less than the floor ends the oldest one with the floor's reason.
void CDownloadThread::lookAtRunRate()
{
    const bool slow =
        filesDone == windowStartFiles && (bytesArrived - windowStartBytes) * 1000 <
                                             limits.floorBytesPerSecond * limits.floorWindowMs;
    windowStartBytes = bytesArrived;
    windowStartFiles = filesDone;
    if (slow && !inFlight.empty()) {
        inFlight.front()->watch->giveUp(
            floorText(limits.floorBytesPerSecond, limits.floorWindowMs));
    }
}

// The transfers end without calling back into this object. A copy that can be continued stays
// for the next attempt.
void CDownloadThread::abortTransfers()
{
    std::vector<std::unique_ptr<Transfer>> ending;
    ending.swap(inFlight);
    for (const std::unique_ptr<Transfer> &transfer : ending) {
        transfer->watch.reset();
        if (transfer->reply) {
            disconnect(transfer->reply, nullptr, this, nullptr);
            transfer->reply->abort();
            transfer->reply->deleteLater();
        }
    }
}
