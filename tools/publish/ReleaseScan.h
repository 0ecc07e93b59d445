#pragma once

#include <QList>
#include <QString>
#include <QStringList>

class ExcludeFilter;

// One file of the release.
struct ReleaseFile
{
    QString path;       // list path: relative to SOURCE_DIR, '/' separated
    QString sourcePath; // where to read it; a symbolic link is read through
    quint64 size = 0;
};

// Refuses a SOURCE_DIR that is missing, not a folder or not readable.
bool checkSourceDir(const QString &sourceDir, QString &errorText);

// Lists every file below sourceDir that the filter keeps, sorted by path (the file list's
// order). Symbolic links that stay inside sourceDir are followed: a link to a file is published
// with the target's content under the link's own path, a link to a folder is walked like a
// folder. Links that leave sourceDir, dangling links, links that loop back into a folder being
// walked, unreadable entries and anything that is neither file nor folder land in `problems`,
// one message each naming the path. Empty folders publish nothing.
QList<ReleaseFile> scanRelease(const QString &sourceDir, const ExcludeFilter &filter,
                               QStringList &problems);
