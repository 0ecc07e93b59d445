#pragma once

#include "CDownloadThread.h"
#include "FileList.h"
#include "Patterned.h"
#include "TestServer.h"

#include <QByteArray>
#include <QDir>
#include <QList>
#include <QMap>
#include <QMetaType>
#include <QString>
#include <QTemporaryDir>

#include <memory>

// Relative path -> content of every regular file below a directory, hidden ones included.
using FileTree = QMap<QString, QByteArray>;
Q_DECLARE_METATYPE(FileTree)

FileEntry entryFor(const QString &path, const QByteArray &content);
bool writeFile(const QString &path, const QByteArray &content);
FileTree readTree(const QDir &dir);
bool writeTree(const QDir &dir, const FileTree &tree);

// Builds a directory chain below dir whose full paths exceed PATH_MAX. Path-based removal
// (QDir::removeRecursively) cannot reach its bottom, whatever the caller's privileges.
bool makeTooDeepTree(const QString &dir);

// A scratch root holding cache/ and install/, and a server that answers below /v/. A worker
// uses cache/ unless it is given another cache directory.
class EngineSandbox
{
public:
    EngineSandbox();
    ~EngineSandbox();

    bool isReady() const;
    QString baseUrl() const;
    void serve(const QString &path, const TestResponse &response);
    void serve(const QString &path, const QByteArray &content);
    std::unique_ptr<CDownloadThread>
    worker(const QList<FileEntry> &files,
           int stallTimeoutMs = CDownloadThread::DefaultStallTimeoutMs,
           const QString &cacheDir = QString());

    QTemporaryDir root;
    QDir rootDir;
    QDir cache;
    QDir install;
    CTestServer server;
};

// Starts the worker's thread and waits until its finished signal has reached this thread, as it
// reaches the driver and the progress dialog: queued. False when that does not happen in time.
bool runToEnd(CDownloadThread &worker, int timeoutMs = 20000);
