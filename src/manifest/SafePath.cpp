#include "SafePath.h"

bool isSafeListPath(const QString &path)
{
    if (path.isEmpty() || path.startsWith(QLatin1Char('/'))) {
        return false;
    }
    // One pass over the characters: every list path of every check goes through here.
    bool onlyDotComponents = true; // then the path, once cleaned, names the directory itself
    int componentStart = 0;
    for (int i = 0; i <= path.size(); ++i) {
        const QChar c = i < path.size() ? path.at(i) : QLatin1Char('/');
        // A colon is a drive letter or an alternate data stream on Windows. Parsed lists never
        // hold a backslash (a second separator on Windows) or a NUL (it would cut the name short
        // at the system interface).
        if (c == QLatin1Char(':') || c == QLatin1Char('\\') || c.isNull()) {
            return false;
        }
        if (c != QLatin1Char('/')) {
            continue;
        }
        const QStringRef component = path.midRef(componentStart, i - componentStart);
        if (component == QLatin1String("..")) {
            return false;
        }
        if (!component.isEmpty() && component != QLatin1String(".")) {
            onlyDotComponents = false;
        }
        componentStart = i + 1;
    }
    return !onlyDotComponents;
}
