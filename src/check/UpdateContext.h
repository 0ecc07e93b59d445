#pragma once

#include "RunMode.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QNetworkAccessManager>
#include <QSharedMemory>
#include <QString>

// What start-up prepares for the update run. Members are created in declaration order and
// destroyed in reverse, so the guard goes first. It holds no window: the error dialog belongs
// to the entry, which creates it before this context and destroys it after.
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
    QSharedMemory instanceGuard;
};
