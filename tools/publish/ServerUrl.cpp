#include "ServerUrl.h"

#include <QUrl>

bool checkServerUrl(const QString &url, QString &errorText)
{
    // Parsed the way the updater parses the addresses it builds from it.
    const QUrl parsed(url, QUrl::TolerantMode);
    const QString scheme = parsed.scheme().toLower();
    if (!parsed.isValid() ||
        (scheme != QLatin1String("http") && scheme != QLatin1String("https")) ||
        parsed.host().isEmpty()) {
        errorText = QStringLiteral("--url \"%1\" is not an http:// or https:// address").arg(url);
        return false;
    }
    if (parsed.hasQuery() || parsed.hasFragment()) {
        errorText = QStringLiteral("--url \"%1\" holds a query or fragment (\"?\" or \"#\"), which "
                                   "would swallow the paths the updater appends")
                        .arg(url);
        return false;
    }
    return true;
}

QString systemCfgUrlLine(const QString &url)
{
    if (url.isEmpty()) {
        return QStringLiteral("URL=<address of OUTPUT_DIR on your server>/");
    }
    return QStringLiteral("URL=") + url +
           (url.endsWith(QLatin1Char('/')) ? QString() : QStringLiteral("/"));
}
