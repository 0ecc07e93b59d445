#include "CDownloadThread.h"

#include "DownloadSink.h"

#include <QMetaType>
#include <QNetworkReply>

#include <utility>

CDownloadThread::CDownloadThread(QString base, QDir cache, QDir install, QList<FileEntry> entries,
                                 QObject *parent, int stallTimeout)
    : QThread(parent), success(false), baseUrl(std::move(base)), cacheDir(cache),
      installDir(install), files(std::move(entries)), currentIndex(0), ended(false),
      stallTimeoutMs(stallTimeout)
{
    qRegisterMetaType<QFileInfo>("QFileInfo");
    qRegisterMetaType<int64_t>("int64_t");

    // start() forgets a quit() that came before it, and a run may end inside this constructor.
    // The new thread therefore looks for itself; a quit() issued before QThread::exec() makes
    // exec() return at once.
    connect(
        this, &QThread::started, this,
        [this] {
            if (ended.load()) {
                quit();
            }
        },
        Qt::DirectConnection);

    stallTimer.setSingleShot(true);
    connect(&stallTimer, &QTimer::timeout, this, &CDownloadThread::abortStalledTransfer);

    DownloadSink::removeLeftovers(this->cacheDir, files);
    downloadNext();
}

CDownloadThread::~CDownloadThread()
{
    // Destroying a QThread whose thread still runs aborts the process.
    quit();
    wait();

    // The replies go before any other field, and without calling back into this object.
    const QList<QNetworkReply *> replies = accessManager.findChildren<QNetworkReply *>();
    for (QNetworkReply *reply : replies) {
        disconnect(reply, nullptr, this, nullptr);
        disconnect(reply, nullptr, &stallTimer, nullptr);
    }
    qDeleteAll(replies);
}

bool CDownloadThread::isSuccess() const
{
    return success.load();
}

QString CDownloadThread::errorMessage() const
{
    return message;
}

void CDownloadThread::reportFailure(QFileInfo filename, QString text)
{
    message = text;
    emit downloadFail(filename, message);
    endRun();
}

void CDownloadThread::endRun()
{
    // The flag comes first: a thread starting now either sees it or receives the quit().
    ended.store(true);
    quit();
}
