#include "JournalReplay.h"

#include "FileMoves.h"
#include "FileNames.h"
#include "StepPaths.h"
#include "UserTexts.h"

#include <QFileInfo>

namespace {

// Puts `from` back at `to` when the disk shows it was moved away from there.
bool moveBack(const QString &from, const QString &to, DiskActions &disk, StepFailure &failure)
{
    if (!isPresent(from) || isPresent(to) || disk.rename(from, to)) {
        return true;
    }
    failure.text = userText(UserText::RenameFailed).arg(from, to);
    return false;
}

bool undoSwap(const StepPaths &paths, const JournalStep &step, DiskActions &disk,
              StepFailure &failure)
{
    // The journal says staging had finished, so a staged file that is gone has been renamed
    // into place.
    if (!isPresent(paths.staged) && !moveBack(paths.target, paths.staged, disk, failure)) {
        return false;
    }
    if (step.hadTarget && !moveBack(paths.old, paths.target, disk, failure)) {
        return false;
    }
    return !step.hadOld || moveBack(paths.kept, paths.old, disk, failure);
}

bool dropStaged(const StepPaths &paths, DiskActions &disk, StepFailure &failure)
{
    if (disk.removeTree(paths.staged)) {
        return true;
    }
    failure.text = userText(UserText::DeleteFailed).arg(QFileInfo(paths.staged).fileName());
    return false;
}

// A download renamed out of the cache goes back there; a copy of one is dropped, and so is a
// download whose cache is gone for good (a drive removed): that must not keep the
// installation from going back.
bool undoStage(const StepPaths &paths, DiskActions &disk, StepFailure &failure)
{
    if (!isPresent(paths.staged)) {
        return true;
    }
    if (isPresent(paths.cached)) {
        return dropStaged(paths, disk, failure);
    }
    if (disk.stopped() || QDir().mkpath(QFileInfo(paths.cached).absolutePath())) {
        return moveBack(paths.staged, paths.cached, disk, failure);
    }
    return dropStaged(paths, disk, failure);
}

bool undoPreparation(const StepPaths &paths, const JournalStep &step, DiskActions &disk,
                     StepFailure &failure)
{
    switch (step.kind) {
    case JournalStep::MoveAside:
        return moveBack(paths.old, paths.target, disk, failure) &&
               (!step.hadOld || moveBack(paths.kept, paths.old, disk, failure));
    case JournalStep::MakeFolder: {
        const QFileInfo folder(paths.target);
        if (!folder.isDir() || isLink(folder) || disk.removeEmptyFolder(paths.target)) {
            return true;
        }
        failure.text = userText(UserText::DeleteFailed).arg(folder.fileName());
        return false;
    }
    case JournalStep::Stage:
        return undoStage(paths, disk, failure);
    case JournalStep::Swap:
        break;
    }
    return true;
}

} // namespace

bool writeJournal(const QDir &installDir, const InstallJournal &journal, DiskActions &disk,
                  StepFailure &failure)
{
    const QString path = installDir.absoluteFilePath(JournalFileName);
    QString errorText;
    if (disk.writeWhole(path, journalBytes(journal), errorText)) {
        return true;
    }
    failure.text = userText(UserText::CreateFileFailed).arg(path, errorText);
    return false;
}

bool everyFilePlaced(const QDir &installDir, const InstallJournal &journal)
{
    if (!journal.swapping) {
        return false;
    }
    for (const JournalStep &step : journal.steps) {
        if (step.kind == JournalStep::Swap &&
            isPresent(StepPaths(installDir, journal.cacheDir, step).staged)) {
            return false;
        }
    }
    return true;
}

bool rollBack(const QDir &installDir, InstallJournal journal, DiskActions &disk,
              StepFailure &failure)
{
    if (journal.swapping) {
        for (int i = journal.steps.size() - 1; i >= 0; --i) {
            const JournalStep &step = journal.steps.at(i);
            failure.path = installDir.absoluteFilePath(step.path);
            if (step.kind == JournalStep::Swap &&
                !undoSwap(StepPaths(installDir, journal.cacheDir, step), step, disk, failure)) {
                return false;
            }
        }
        // From here on a staged file that is gone has gone back to the cache, not into place.
        journal.swapping = false;
        if (!writeJournal(installDir, journal, disk, failure)) {
            return false;
        }
    }
    for (int i = journal.steps.size() - 1; i >= 0; --i) {
        const JournalStep &step = journal.steps.at(i);
        failure.path = installDir.absoluteFilePath(step.path);
        if (!undoPreparation(StepPaths(installDir, journal.cacheDir, step), step, disk, failure)) {
            return false;
        }
    }
    const QString journalPath = installDir.absoluteFilePath(JournalFileName);
    if (disk.removeTree(journalPath)) {
        return true;
    }
    failure.path = journalPath;
    failure.text = userText(UserText::DeleteFailed).arg(JournalFileName);
    return false;
}

void completeStep(const QDir &installDir, const InstallJournal &journal, DiskActions &disk)
{
    // Nothing here is worth a failure: the files are in place. What cannot be removed now keeps
    // the journal, and the next start tries again.
    bool cleared = true;
    for (const JournalStep &step : journal.steps) {
        const StepPaths paths(installDir, journal.cacheDir, step);
        if (step.hadOld && isPresent(paths.kept)) {
            cleared = disk.removeTree(paths.kept) && cleared;
        }
        if (step.kind == JournalStep::Stage && isPresent(paths.cached)) {
            cleared = disk.removeTree(paths.cached) && cleared;
        }
    }
    const QString savedList = installDir.absoluteFilePath(SavedListFileName);
    if (QFileInfo(savedList).isFile()) {
        cleared = disk.removeTree(savedList) && cleared;
    }
    if (cleared) {
        disk.removeTree(installDir.absoluteFilePath(JournalFileName));
    }
}
