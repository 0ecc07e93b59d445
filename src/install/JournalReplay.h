#pragma once

#include "DiskActions.h"
#include "InstallJournal.h"
#include "StepFailure.h"

#include <QDir>

// Replaces the journal in the installation root; false, with the user's text, when it cannot
// be written whole.
bool writeJournal(const QDir &installDir, const InstallJournal &journal, DiskActions &disk,
                  StepFailure &failure);

// Whether every file of the step stands in its place, so that only the clean-up is left.
bool everyFilePlaced(const QDir &installDir, const InstallJournal &journal);

// Undoes, last first, every step the disk shows done, whatever the point at which the step
// stopped, and then removes the journal. Downloads go back to the cache. False, with the text
// of the undo that failed, leaves the journal for the next attempt.
bool rollBack(const QDir &installDir, InstallJournal journal, DiskActions &disk,
              StepFailure &failure);

// Finishes a step whose files are all placed: the kept earlier ".old" copies and leftover
// downloads go, the saved list goes (it describes the installation before the step), then
// the journal, unless something could not be removed.
void completeStep(const QDir &installDir, const InstallJournal &journal, DiskActions &disk);
