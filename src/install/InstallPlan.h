#pragma once

#include "FileList.h"
#include "InstallJournal.h"

#include <QDir>
#include <QList>

// The steps that install `files` (in their order) as the disk stands now: first, entry by
// entry, the folders to create (moving aside a file that stands where one is needed) and the
// staging of its download; then every swap. `entryOfStep` gives, for each step, the index in
// `files` of the entry it serves.
QList<JournalStep> planInstallation(const QDir &installDir, const QList<FileEntry> &files,
                                    QList<int> &entryOfStep);
