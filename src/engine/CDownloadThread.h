#pragma once

#include "DownloadConnections.h"
#include "FileList.h"
#include "TransferWatch.h"

#include <QDir>
#include <QFileInfo>
#include <QList>
#include <QNetworkAccessManager>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

class DownloadSink;
class QNetworkReply;

// Fetches the listed files into the cache directory, up to `connections` at a time, requests
// issued in list order, accepts each only with status 200 (or a 206 that continues a copy an
// earlier attempt left), the listed size and the listed MD5 text, and then installs them all.
// The first failure in time aborts the transfers still in flight and ends the run. The object
// and every step stay on the thread that constructs it, driven by the replies' notifications;
// the thread that start() launches only runs an idle event loop, whose end (finished) tells the
// caller that the run is over. One worker performs one run.
class CDownloadThread : public QThread
{
    Q_OBJECT

public:
    // A transfer that receives nothing for this long is given up.
    static constexpr int DefaultStallTimeoutMs = 30000;
    // That silence, and the floor every fetch keeps.
    static TransferLimits defaultLimits();

    // Sends the first request before returning, or ends the whole run at once when nothing
    // needs fetching or the first entry already fails. `base` is joined to each entry's path
    // without a separator, so it normally ends with "/". The transfers go through `network`
    // when given, so that they reuse the connections of the check; it must outlive the worker.
    // `connectionCount` is clamped to 1..MostConnections.
    CDownloadThread(QString base, QDir cache, QDir install, QList<FileEntry> entries,
                    QObject *parent, TransferLimits transferLimits = defaultLimits(),
                    QNetworkAccessManager *network = nullptr, int connectionCount = 1);
    ~CDownloadThread() override;

    bool isSuccess() const;
    // The failure text, "更新成功" after success, empty while the run goes on.
    QString errorMessage() const;

signals:
    // A transfer starts; `current` files of `total` are done.
    void downloadStarted(QFileInfo filename, int current, int total);
    // Bytes of one file on its way; bytesTotal is -1 while unknown.
    void downloadProgress(int64_t bytesReceived, int64_t bytesTotal);
    // Bytes of the whole update: of the files done and of those on their way.
    void updateProgress(int64_t bytesReceived, int64_t bytesTotal);
    void downloadFail(QFileInfo filename, QString errormsg);

private:
    struct Transfer;

    void fillTransfers();
    bool prepareEntry(int index);
    bool isValidInCache(const QFileInfo &cacheFile, const FileEntry &entry) const;
    bool clearCachePlace(const QFileInfo &cacheFile) const;
    void sendRequest(int index, std::unique_ptr<DownloadSink> sink);
    Transfer *transferOf(QObject *reply) const;
    void receiveData();
    void readAvailable(Transfer &transfer, bool abortWhenTooLarge);
    void noteProgress(Transfer &transfer, qint64 done, qint64 all);
    void onReplyFinished();
    bool acceptTransfer(Transfer &transfer);
    void fileDone(int index);
    void lookAtRunRate();
    void abortTransfers();
    void installFiles();
    void reportFailure(QFileInfo filename, QString text);
    void endRun();

    std::atomic<bool> success;
    QString message;
    QString baseUrl;
    QDir cacheDir;
    QDir installDir;
    QList<FileEntry> files;
    std::unique_ptr<QNetworkAccessManager> ownManager;
    QNetworkAccessManager *manager;

    // Set by the end of every run; lets a thread started after that end at once.
    std::atomic<bool> ended;
    bool stopped = false; // a failure ended the run
    const TransferLimits limits;
    const int connections;

    int nextIndex = 0; // the next entry to prepare
    int filesDone = 0;
    qint64 bytesDone = 0;  // of the files done
    qint64 bytesTotal = 0; // of every listed file
    std::vector<std::unique_ptr<Transfer>> inFlight;

    // With several transfers sharing the link, the floor applies to all of them together.
    QTimer runRateTimer;
    qint64 bytesArrived = 0;
    qint64 windowStartBytes = 0;
    int windowStartFiles = 0;
    // Every place the run has met so far, cleaned and case-folded: on Windows "A.dll" and
    // "./a.dll" are one file, and installing it twice would delete its first ".old" copy.
    QSet<QString> placesSeen;
};
