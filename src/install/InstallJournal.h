#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// One change of the installation step, by the path it concerns, relative to the installation
// root. Each kind derives its other names from the path (FileNames.h): P + ".old", the staged
// P + StagedSuffix, the kept P + ".old" + BackupSuffix, and the download in the cache.
struct JournalStep
{
    enum Kind
    {
        // A file or link standing where a folder is needed goes to P.old (an existing P.old
        // is kept until the end), to make room for the folder.
        MoveAside,
        // A folder the step creates.
        MakeFolder,
        // The verified download placed beside its target under the staged name.
        Stage,
        // The existing P.old kept, P moved to P.old, the staged file renamed to P.
        Swap,
    };

    Kind kind = Swap;
    QString path;
    bool hadTarget = false; // Swap: P existed before the step
    bool hadOld = false;    // MoveAside, Swap: P.old existed before and was kept
};

// What the installation step records before it changes anything, so that whatever happens
// to the process, the next start can put the installation back to one version.
struct InstallJournal
{
    // Every staging step is done and the swaps may have begun.
    bool swapping = false;
    QString cacheDir;
    QList<JournalStep> steps;
};

QByteArray journalBytes(const InstallJournal &journal);

// False for anything that is not a journal written by journalBytes.
bool parseJournal(const QByteArray &bytes, InstallJournal &journal);
