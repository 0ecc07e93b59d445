#pragma once

#include "RunMode.h"
#include "SavedList.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QNetworkAccessManager>
#include <QSharedMemory>
#include <QString>

#include <memory>

// What start-up prepares for the update run. Members are created in declaration order and
// destroyed in reverse, so the guard goes first. It holds no window: the error dialog belongs
// to the entry.
struct UpdateContext
{
    QDir appDir{QCoreApplication::applicationDirPath()};
    QNetworkAccessManager network;
    QString serverUrl;
    QDir installDir;
    QDir cacheDir;
    QString exePath;
    RunMode mode = RunMode::Interactive;
    bool signatureRequired = false; // system.cfg names a PublicKey
    QByteArray publicKey;
    // The saved list with its look at the disk, started at start-up for the first check.
    std::unique_ptr<SavedList> savedList;
    QSharedMemory instanceGuard;
};
