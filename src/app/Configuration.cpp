#include "Configuration.h"

#include "FileNames.h"

#include <QSettings>

namespace {

// On Windows the cache sits beside "update.exe" as "update"; elsewhere the executable itself
// is named "update", so the cache needs a name of its own.
QString defaultCacheName()
{
#ifdef Q_OS_WIN
    return QStringLiteral("update");
#else
    return QStringLiteral("update.cache");
#endif
}

} // namespace

Configuration readConfiguration(const QDir &appDir)
{
    QSettings settings(appDir.absoluteFilePath(ConfigFileName), QSettings::IniFormat);
    settings.beginGroup(QStringLiteral("Update"));

    Configuration config;
    config.serverUrl = settings.value(QStringLiteral("URL")).toString();
    config.downloadUrl = settings.value(QStringLiteral("DownLoadUrl")).toString();
    config.cacheDir.setPath(
        settings.value(QStringLiteral("Cache"), appDir.absoluteFilePath(defaultCacheName()))
            .toString());
    config.exePath =
        settings.value(QStringLiteral("ExeName"), QStringLiteral("Host.exe")).toString();
    if (QDir::isRelativePath(config.exePath))
        config.exePath = appDir.absoluteFilePath(config.exePath);
    config.signatureRequired = settings.contains(QStringLiteral("PublicKey"));
    // A character outside Latin-1 turns into '?', which no base64 key holds.
    config.publicKey = settings.value(QStringLiteral("PublicKey")).toString().toLatin1();
    config.language = settings.value(QStringLiteral("Language")).toString();
    return config;
}
