#pragma once

#include "InstallJournal.h"

#include <QDir>
#include <QString>

// The absolute names one journal step works with.
struct StepPaths
{
    StepPaths(const QDir &installDir, const QString &cacheDir, const JournalStep &step);

    QString target; // P
    QString old;    // P.old
    QString kept;   // P.old + BackupSuffix: the earlier P.old until the step has finished
    QString staged; // P + StagedSuffix
    QString cached; // the verified download
};
