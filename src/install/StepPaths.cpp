#include "StepPaths.h"

#include "FileNames.h"

StepPaths::StepPaths(const QDir &installDir, const QString &cacheDir, const JournalStep &step)
    : target(installDir.absoluteFilePath(step.path)), old(target + QStringLiteral(".old")),
      kept(old + BackupSuffix), staged(target + StagedSuffix),
      cached(QDir(cacheDir).absoluteFilePath(step.path))
{}
