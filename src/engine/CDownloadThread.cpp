#include "CDownloadThread.h"

#include "DownloadSink.h"

#include <QMetaType>
#include <QNetworkReply>

#include <utility>

TransferLimits CDownloadThread::defaultLimits()
{
    TransferLimits limits;
    limits.silenceMs = DefaultStallTimeoutMs;
    limits.floorBytesPerSecond = FloorBytesPerSecond;
    limits.floorWindowMs = FloorWindowMs;
    return limits;
}

CDownloadThread::CDownloadThread(QString base, QDir cache, QDir install, QList<FileEntry> entries,
                                 QObject *parent, TransferLimits transferLimits,
                                 QNetworkAccessManager *network)
    : QThread(parent), success(false), baseUrl(std::move(base)), cacheDir(cache),
      installDir(install), files(std::move(entries)), currentIndex(0),
      ownManager(network ? nullptr : std::make_unique<QNetworkAccessManager>()),
      manager(network ? network : ownManager.get()), ended(false), limits(transferLimits)
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

    DownloadSink::removeLeftovers(this->cacheDir, files);
    downloadNext();
}

CDownloadThread::~CDownloadThread()
{
    // Destroying a QThread whose thread still runs aborts the process.
    quit();
    wait();

    // The transfer goes before any other field, and without calling back into this object; the
    // manager may serve others after this run.
    watch.reset();
    if (transfer) {
        disconnect(transfer, nullptr, this, nullptr);
        transfer->abort();
        delete transfer;
    }
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
