#include "InstallRecovery.h"

#include "FileMoves.h"
#include "FileNames.h"
#include "InstallJournal.h"
#include "JournalReplay.h"

#include <QFile>
#include <QFileInfo>

#include <utility>

bool recoverInstallation(const QDir &installDir, StepFailure &failure, FaultSeam seam)
{
    const QString journalPath = installDir.absoluteFilePath(JournalFileName);
    // Anything else at the journal's name is not the updater's and is left alone.
    if (!QFileInfo(journalPath).isFile()) {
        return true;
    }
    DiskActions disk(std::move(seam));
    QFile file(journalPath);
    InstallJournal journal;
    if (!file.open(QIODevice::ReadOnly) || !parseJournal(file.readAll(), journal)) {
        file.close();
        const QString savedList = installDir.absoluteFilePath(SavedListFileName);
        if (QFileInfo(savedList).isFile()) {
            disk.removeTree(savedList);
        }
        disk.removeTree(journalPath);
        return true;
    }
    file.close();
    if (everyFilePlaced(installDir, journal)) {
        completeStep(installDir, journal, disk);
        return true;
    }
    return rollBack(installDir, journal, disk, failure);
}
