#include "InstallTransaction.h"

#include "FileDigests.h"
#include "FileMoves.h"
#include "InstallPlan.h"
#include "JournalReplay.h"
#include "Md5Text.h"
#include "StepPaths.h"
#include "UserTexts.h"

#include <QFileInfo>

#include <utility>

namespace {

QString nameOf(const QString &path)
{
    return QFileInfo(path).fileName();
}

// A file counts as placed only with the listed size, and, where it was copied rather than
// renamed, with the listed digests read back from the copy.
bool isPlacedWhole(const QString &path, const FileEntry &entry, bool copied)
{
    const QFileInfo placed(path);
    if (isLink(placed) || !placed.isFile() || static_cast<quint64>(placed.size()) != entry.size) {
        return false;
    }
    if (!copied) {
        return true;
    }
    return entry.sha256.isEmpty() ? fileMatchesMd5(path, entry.md5)
                                  : fileMatchesMd5AndSha256(path, entry.md5, entry.sha256);
}

} // namespace

InstallTransaction::InstallTransaction(const QDir &install, const QDir &cache,
                                       QList<FileEntry> entries, FaultSeam seam)
    : installDir(install), cacheDir(cache), files(std::move(entries)), disk(std::move(seam))
{}

const StepFailure &InstallTransaction::failure() const
{
    return stepFailure;
}

bool InstallTransaction::fail(const QString &text)
{
    stepFailure.text = text;
    return false;
}

bool InstallTransaction::run()
{
    if (files.isEmpty()) {
        return true;
    }
    journal.cacheDir = cacheDir.absolutePath();
    journal.steps = planInstallation(installDir, files, entryOfStep);
    if (!clearLeftovers() || !writeJournal(installDir, journal, disk, stepFailure)) {
        return false;
    }
    bool done = true;
    for (int i = 0; i < journal.steps.size() && done; ++i) {
        const JournalStep &step = journal.steps.at(i);
        const FileEntry &entry = files.at(entryOfStep.at(i));
        stepFailure.path = installDir.absoluteFilePath(entry.path);
        if (step.kind == JournalStep::Swap && !journal.swapping) {
            // Every file lies staged; once their data is on the disk, the journal tells a
            // crash which of them are in place.
            done = disk.syncFiles(stagedFiles) ||
                   fail(userText(UserText::OverwriteFailed).arg(nameOf(stepFailure.path)));
            if (done) {
                journal.swapping = true;
                done = writeJournal(installDir, journal, disk, stepFailure);
            }
        }
        done = done && perform(step, entry);
    }
    if (!done) {
        // The failure to report is the step's own; an undo that fails as well leaves the
        // journal for the next start.
        StepFailure undoFailure;
        rollBack(installDir, journal, disk, undoFailure);
        return false;
    }
    completeStep(installDir, journal, disk);
    return true;
}

// Staged and kept names are the updater's own; one left by an earlier step that could not
// clean up would block the rename that needs the name.
bool InstallTransaction::clearLeftovers()
{
    for (int i = 0; i < journal.steps.size(); ++i) {
        const JournalStep &step = journal.steps.at(i);
        const StepPaths paths(installDir, journal.cacheDir, step);
        stepFailure.path = installDir.absoluteFilePath(files.at(entryOfStep.at(i)).path);
        const QString leftover = step.kind == JournalStep::Stage ? paths.staged
                                 : step.hadOld                   ? paths.kept
                                                                 : QString();
        if (!leftover.isEmpty() && isPresent(leftover) && !disk.removeTree(leftover)) {
            return fail(userText(UserText::DeleteFailed).arg(nameOf(leftover)));
        }
    }
    return true;
}

bool InstallTransaction::perform(const JournalStep &step, const FileEntry &entry)
{
    switch (step.kind) {
    case JournalStep::MoveAside:
        return moveAside(step);
    case JournalStep::MakeFolder:
        return disk.makeFolder(installDir.absoluteFilePath(step.path)) ||
               fail(userText(UserText::CreateFolderFailed)
                        .arg(QFileInfo(installDir.absoluteFilePath(entry.path)).absolutePath()));
    case JournalStep::Stage:
        return stage(step, entry);
    case JournalStep::Swap:
        return swap(step);
    }
    return false;
}

bool InstallTransaction::moveAside(const JournalStep &step)
{
    const StepPaths paths(installDir, journal.cacheDir, step);
    if (step.hadOld && !disk.rename(paths.old, paths.kept)) {
        return fail(userText(UserText::DeleteFailed).arg(nameOf(paths.old)));
    }
    return disk.rename(paths.target, paths.old) ||
           fail(userText(UserText::RenameFailed).arg(paths.target, paths.old));
}

bool InstallTransaction::stage(const JournalStep &step, const FileEntry &entry)
{
    const StepPaths paths(installDir, journal.cacheDir, step);
    // A rename keeps the verified file as it is; across volumes it fails, and a copy that is
    // read back takes its place.
    bool copied = false;
    bool placed = disk.rename(paths.cached, paths.staged);
    if (!placed && !disk.stopped()) {
        copied = true;
        placed = disk.copy(paths.cached, paths.staged);
    }
    placed = placed && isPlacedWhole(paths.staged, entry, copied);
    stagedFiles.append(paths.staged);
    return placed || fail(userText(UserText::OverwriteFailed).arg(nameOf(paths.target)));
}

bool InstallTransaction::swap(const JournalStep &step)
{
    const StepPaths paths(installDir, journal.cacheDir, step);
    if (step.hadOld && !disk.rename(paths.old, paths.kept)) {
        return fail(userText(UserText::DeleteFailed).arg(nameOf(paths.old)));
    }
    if (step.hadTarget && !disk.rename(paths.target, paths.old)) {
        return fail(userText(UserText::RenameFailed).arg(paths.target, paths.old));
    }
    return disk.rename(paths.staged, paths.target) ||
           fail(userText(UserText::OverwriteFailed).arg(nameOf(paths.target)));
}
