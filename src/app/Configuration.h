#pragma once

#include <QByteArray>
#include <QDir>
#include <QString>

// The [Update] section of system.cfg, with every default applied.
struct Configuration
{
    QString serverUrl;   // URL
    QString downloadUrl; // DownLoadUrl
    QDir cacheDir;       // Cache, as written (a relative value stays relative)
    QString exePath;     // ExeName, made absolute against appDir
    // PublicKey: once the key is named at all, every description must carry a valid signature
    // by it, so an empty or malformed value refuses every update instead of skipping the check.
    bool signatureRequired = false;
    QByteArray publicKey; // base64, as written
    QString language;     // Language, as written: "zh_CN" or "en" forces the windows' language
};

// Reads appDir's system.cfg. A missing or unreadable file gives every default.
Configuration readConfiguration(const QDir &appDir);
