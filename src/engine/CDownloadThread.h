#pragma once

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

#include <atomic>
#include <cstdint>
#include <memory>

class DownloadSink;
class QNetworkReply;

// Fetches the listed files one after another into the cache directory, accepts each only with
// status 200 (or a 206 that continues a copy an earlier attempt left), the listed size and the
// listed MD5 text, and then installs them all. The object and every step stay on the thread
// that constructs it, driven by the replies' notifications; the thread that start() launches
// only runs an idle event loop, whose end (finished) tells the caller that the run is over.
// One worker performs one run.
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
    CDownloadThread(QString base, QDir cache, QDir install, QList<FileEntry> entries,
                    QObject *parent, TransferLimits transferLimits = defaultLimits(),
                    QNetworkAccessManager *network = nullptr);
    ~CDownloadThread() override;

    bool isSuccess() const;
    // The failure text, "更新成功" after success, empty while the run goes on.
    QString errorMessage() const;

signals:
    void downloadStarted(QFileInfo filename, int current, int total);
    void downloadProgress(int64_t bytesReceived, int64_t bytesTotal);
    void downloadFail(QFileInfo filename, QString errormsg);

private:
    void downloadNext();
    bool isValidInCache(const QFileInfo &cacheFile, const FileEntry &entry) const;
    bool clearCachePlace(const QFileInfo &cacheFile) const;
    void sendRequest(const FileEntry &entry, const QFileInfo &cacheFile);
    void receiveData();
    void readAvailable(QNetworkReply &reply, DownloadSink &into, bool abortWhenTooLarge);
    void onReplyFinished();
    void acceptTransfer(QNetworkReply &reply);
    void installFiles();
    void reportFailure(QFileInfo filename, QString text);
    void endRun();

    std::atomic<bool> success;
    QString message;
    QString baseUrl;
    QDir cacheDir;
    QDir installDir;
    QList<FileEntry> files;
    int currentIndex;
    std::unique_ptr<QNetworkAccessManager> ownManager;
    QNetworkAccessManager *manager;

    // Set by the end of every run; lets a thread started after that end at once.
    std::atomic<bool> ended;
    const TransferLimits limits;
    QPointer<QNetworkReply> transfer;
    std::unique_ptr<TransferWatch> watch;
    std::unique_ptr<DownloadSink> sink;
    // Every place the run has met so far, cleaned and case-folded: on Windows "A.dll" and
    // "./a.dll" are one file, and installing it twice would delete its first ".old" copy.
    QSet<QString> placesSeen;
};
