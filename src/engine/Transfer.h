#pragma once

#include "CDownloadThread.h"
#include "DownloadSink.h"
#include "TransferWatch.h"

#include <QNetworkReply>
#include <QPointer>

#include <memory>

// One listed file on its way into the cache.
struct CDownloadThread::Transfer
{
    int index = 0;
    QPointer<QNetworkReply> reply;
    std::unique_ptr<DownloadSink> sink;
    std::unique_ptr<TransferWatch> watch;
    qint64 received = 0; // of the file, the bytes of an earlier attempt included
};
