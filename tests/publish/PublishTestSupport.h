#pragma once

#include <QByteArray>
#include <QDir>
#include <QMap>
#include <QString>
#include <QStringList>

// What one run of update-publish did.
struct ToolRun
{
    int exitCode = -1;
    QString output; // standard output and standard error, merged
};

ToolRun runPublishTool(const QStringList &arguments);

// The tool's output split into lines, whether they end in "\n" or, on Windows, in "\r\n".
QStringList outputLines(const QString &output);

// Whether the file lets its owner alone in: mode 0600 on POSIX systems; on Windows a protected
// DACL (nothing handed down from the folder) whose every entry allows the owner (under Wine,
// which makes DACLs up from the POSIX mode, SYSTEM too).
bool isOwnerOnly(const QString &path, QString &problem);

// Writes `data` to root/path, creating folders on the way.
bool writeTestFile(const QDir &root, const QString &path, const QByteArray &data);

// Every entry below root (hidden ones included; links are not followed) mapped to what it is:
// a folder, a link and its target, or a file's size and MD5 digest.
QMap<QString, QString> treeSnapshot(const QString &root);

// The list's MD5 text, derived from the usual hexadecimal digest by this code alone.
QByteArray expectedMd5Text(const QByteArray &data);

// The list's size field: the low 32 bits, then the high 32 bits, 8 hex digits each.
QByteArray expectedSizeField(quint64 size);

// The bytes every file of the tree holds, keyed by path relative to root (links read through).
QMap<QString, QByteArray> treeContents(const QString &root);
