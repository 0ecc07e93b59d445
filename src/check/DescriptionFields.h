#pragma once

#include <QByteArray>
#include <QDir>
#include <QString>

// What the check takes from update.ini, with the values of a description that lacks them.
struct DescriptionFields
{
    int updateType = 1; // [Summary] UpdateType; 0: optional, anything else: mandatory
    QString folder = QStringLiteral("Base"); // [Version] Folder
    QString version;                         // [Version] Version
    // [Download] Connections: transfers at once (the download step takes at most 6); a missing
    // or invalid value is 1, one file after another.
    int connections = 1;
};

// Reads the fields from the INI file at `path`, with QSettings' rules.
DescriptionFields readDescriptionFields(const QString &path);

// Reads them, with the same rules, from exactly `bytes`. QSettings reads only files, so the bytes
// go into a private temporary file in `scratchDir` that is removed again at once. False when that
// file cannot be written; failureText is then the user's message.
bool readDescriptionFields(const QByteArray &bytes, const QDir &scratchDir,
                           DescriptionFields &fields, QString &failureText);
