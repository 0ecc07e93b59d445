#include "SafePath.h"

#include <QDir>
#include <QStringList>

bool isSafeListPath(const QString &path)
{
    if (path.isEmpty() || path.startsWith(QLatin1Char('/'))) {
        return false;
    }
    // A colon is a drive letter or an alternate data stream on Windows.
    if (path.contains(QLatin1Char(':'))) {
        return false;
    }
    // Parsed lists never hold these: a backslash would be a second separator on Windows, and a
    // NUL would cut the name short at the system interface.
    if (path.contains(QLatin1Char('\\')) || path.contains(QChar(0))) {
        return false;
    }
    if (path.split(QLatin1Char('/')).contains(QStringLiteral(".."))) {
        return false;
    }
    return QDir::cleanPath(path) != QStringLiteral(".");
}
