#pragma once

#include <QFileInfo>
#include <QString>

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

// Copies a regular file to a new file, every read, write, flush and close checked, the copy's
// data flushed to the disk; a failed copy leaves no target behind.
bool copyFile(const QString &from, const QString &to);

// Asks the system to put the file's data on the disk before anything else refers to it.
bool syncFile(const QString &path);

// Removes a file, a link (never what it points at) or a folder with everything in it. Files
// marked read-only are removed too.
bool removeTree(const QString &path);
