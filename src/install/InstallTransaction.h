#pragma once

#include "DiskActions.h"
#include "FileList.h"
#include "InstallJournal.h"
#include "StepFailure.h"

#include <QDir>
#include <QList>
#include <QStringList>

// Installs verified downloads from the cache all together or not at all. Each new file is
// first placed beside its target under a staged name, checked, and flushed to the disk; only
// then is each target moved to ".old" and the staged file renamed into its place, two renames
// in one folder. A journal written before the first change lets a failure here, or the next
// start after a crash, undo everything. After success the previous versions stand as ".old"
// and the files have left the cache; after failure the installation, its ".old" copies and the
// cache are as they were.
class InstallTransaction
{
public:
    InstallTransaction(const QDir &install, const QDir &cache, QList<FileEntry> entries,
                       FaultSeam seam = FaultSeam());

    bool run();
    const StepFailure &failure() const;

private:
    bool clearLeftovers();
    bool perform(const JournalStep &step, const FileEntry &entry);
    bool moveAside(const JournalStep &step);
    bool stage(const JournalStep &step, const FileEntry &entry);
    bool swap(const JournalStep &step);
    bool fail(const QString &text);

    QDir installDir;
    QDir cacheDir;
    QList<FileEntry> files;
    DiskActions disk;
    InstallJournal journal;
    QList<int> entryOfStep;
    QStringList stagedFiles;
    StepFailure stepFailure;
};
