#pragma once

#include <QDir>
#include <QString>

// The [Update] section of system.cfg, with every default applied.
struct Configuration
{
    QString serverUrl;   // URL
    QString downloadUrl; // DownLoadUrl
    QDir cacheDir;       // Cache, as written (a relative value stays relative)
    QString exePath;     // ExeName, made absolute against appDir
};

// Reads appDir's system.cfg. A missing or unreadable file gives every default.
Configuration readConfiguration(const QDir &appDir);
