#pragma once

#include "HostStub.h"
#include "UpdateContext.h"

#include <QDir>
#include <QString>

// Points a context at a scratch tree below root: install/ and cache/ created, and a host stub
// (root/Host.exe) as the host application. False when the tree cannot be laid out.
inline bool prepareScratchContext(UpdateContext &context, const QDir &root,
                                  const QString &serverUrl, const HostStub &host)
{
    context.serverUrl = serverUrl;
    context.installDir.setPath(root.filePath(QStringLiteral("install")));
    context.cacheDir.setPath(root.filePath(QStringLiteral("cache")));
    context.exePath = host.path();
    return context.installDir.mkpath(QStringLiteral(".")) &&
           context.cacheDir.mkpath(QStringLiteral(".")) && host.write();
}
