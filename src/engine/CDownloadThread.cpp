#include "CDownloadThread.h"

#include "DownloadSink.h"
#include "Transfer.h"

#include <QMetaType>
#include <QNetworkReply>

#include <algorithm>
#include <utility>

TransferLimits CDownloadThread::defaultLimits()
{
    TransferLimits limits;
    limits.silenceMs = DefaultStallTimeoutMs;
    return limits.withFloor();
}

CDownloadThread::CDownloadThread(QString base, QDir cache, QDir install, QList<FileEntry> entries,
                                 QObject *parent, TransferLimits transferLimits,
                                 QNetworkAccessManager *network, int connectionCount)
    : QThread(parent), success(false), baseUrl(std::move(base)), cacheDir(cache),
      installDir(install), files(std::move(entries)),
      ownManager(network ? nullptr : std::make_unique<QNetworkAccessManager>()),
      manager(network ? network : ownManager.get()), ended(false), limits(transferLimits),
      connections(std::clamp(connectionCount, 1, MostConnections))
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

    // A cancel quits the thread: nothing more may arrive, let alone be installed.
    connect(this, &QThread::finished, this, [this] {
        stopped = true;
        runRateTimer.stop();
        abortTransfers();
    });

    for (const FileEntry &entry : qAsConst(files)) {
        bytesTotal += qint64(entry.size);
    }
    if (connections > 1 && limits.floorBytesPerSecond > 0 && limits.floorWindowMs > 0) {
        connect(&runRateTimer, &QTimer::timeout, this, &CDownloadThread::lookAtRunRate);
        runRateTimer.start(limits.floorWindowMs);
    }
    DownloadSink::removeLeftovers(this->cacheDir, files);
    fillTransfers();
}

CDownloadThread::~CDownloadThread()
{
    // Destroying a QThread whose thread still runs aborts the process.
    quit();
    wait();

    // The transfers go before any other field, and without calling back into this object; the
    // manager may serve others after this run.
    abortTransfers();
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
    stopped = true;
    runRateTimer.stop();
    abortTransfers();
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
