#pragma once

#include "CUpdateError.h"
#include "HostStub.h"
#include "RunUpdate.h"
#include "TestServer.h"
#include "UpdateContext.h"

#include <QDir>
#include <QString>
#include <QTemporaryDir>

// One in-process update run: a scratch tree with install/ and cache/, the test server, a host
// stub (root/Host.exe) as the host application, the error dialog the driver reports through,
// and a context pointing at all of them with URL = the server's address + urlPath. Members go
// in reverse order, so the context's network manager is gone before the server.
class RunScratch
{
public:
    explicit RunScratch(const QString &urlPath)
    {
        context.serverUrl = server.baseUrl() + urlPath;
        context.installDir.setPath(root.filePath(QStringLiteral("install")));
        context.cacheDir.setPath(root.filePath(QStringLiteral("cache")));
        context.exePath = host.path();
        ready = server.isListening() && context.installDir.mkpath(QStringLiteral(".")) &&
                context.cacheDir.mkpath(QStringLiteral(".")) && host.write();
    }

    // False when the server does not listen or the tree cannot be laid out.
    bool isReady() const { return ready; }
    int update() { return runUpdate(context, errorDialog); }
    QString installed(const QString &path) const { return context.installDir.filePath(path); }

    QTemporaryDir scratchDir;
    QDir root{scratchDir.path()};
    CTestServer server;
    HostStub host{root.filePath(QStringLiteral("Host.exe"))};
    CUpdateError errorDialog;
    UpdateContext context;

private:
    bool ready = false;
};
