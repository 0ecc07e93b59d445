#pragma once

#include "CUpdateError.h"
#include "RunMode.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QNetworkAccessManager>
#include <QSharedMemory>
#include <QString>

// What start-up prepares for the update run. Members are created in declaration order and
// destroyed in reverse, so the guard goes first and the error dialog last.
struct UpdateContext
{
    CUpdateError errorDialog;
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
