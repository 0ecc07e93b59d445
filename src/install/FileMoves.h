#pragma once

#include <QFileInfo>
#include <QString>
#include <QStringList>

// The file-system primitives of the installation step. None of them follows a link that stands
// where it works, none replaces an existing target, and none falls back to another way of
// doing its job behind the caller's back.

// Whether anything stands at the path: a file, a folder, or a link (even one to nothing).
bool isPresent(const QFileInfo &info);
bool isPresent(const QString &path);

// A symbolic link, or on Windows a junction.
bool isLink(const QFileInfo &info);

// Renames a file, a folder or a link within one volume.
bool renamePath(const QString &from, const QString &to);

// Copies a regular file to a new file, every read, write, flush and close checked; a failed
// copy leaves no target behind.
bool copyFile(const QString &from, const QString &to);

// Puts the data of the files, all on one volume, on the disk before anything refers to them.
bool syncFiles(const QStringList &paths);

// Removes a file, a link (never what it points at) or a folder with everything in it. Files
// marked read-only are removed too.
bool removeTree(const QString &path);
