#include "PathNesting.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

QString resolvedPath(const QString &path)
{
    QString existing = QFileInfo(path).absoluteFilePath();
    QStringList missing;
    // Walking up textually keeps ".." after a symbolic link for canonicalFilePath to resolve.
    while (!QFileInfo::exists(existing)) {
        const QFileInfo info(existing);
        const QString parent = info.path();
        if (parent == existing) {
            break;
        }
        missing.prepend(info.fileName());
        existing = parent;
    }
    QString resolved = QFileInfo(existing).canonicalFilePath();
    if (resolved.isEmpty()) {
        resolved = existing;
    }
    for (const QString &name : qAsConst(missing)) {
        resolved += QLatin1Char('/') + name;
    }
    return QDir::cleanPath(resolved);
}

bool isSameOrInside(const QString &path, const QString &dir)
{
    if (path == dir) {
        return true;
    }
    const QString prefix = dir.endsWith(QLatin1Char('/')) ? dir : dir + QLatin1Char('/');
    return path.startsWith(prefix);
}
