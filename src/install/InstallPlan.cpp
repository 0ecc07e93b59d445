#include "InstallPlan.h"

#include "FileMoves.h"

#include <QSet>
#include <QStringList>

namespace {

QString placeKey(const QString &path)
{
#ifdef Q_OS_WIN
    return path.toCaseFolded();
#else
    return path;
#endif
}

JournalStep step(JournalStep::Kind kind, const QString &path, bool hadTarget = false,
                 bool hadOld = false)
{
    JournalStep made;
    made.kind = kind;
    made.path = path;
    made.hadTarget = hadTarget;
    made.hadOld = hadOld;
    return made;
}

} // namespace

QList<JournalStep> planInstallation(const QDir &installDir, const QList<FileEntry> &files,
                                    QList<int> &entryOfStep)
{
    QList<JournalStep> steps;
    QList<JournalStep> swaps;
    QList<int> entryOfSwap;
    QSet<QString> foldersMade;
    for (int index = 0; index < files.size(); ++index) {
        const QString path = QDir::cleanPath(files.at(index).path);
        const QStringList parts = path.split(QLatin1Char('/'));
        QString folder;
        bool inNewFolder = false;
        for (int i = 0; i + 1 < parts.size(); ++i) {
            folder += folder.isEmpty() ? parts.at(i) : QLatin1Char('/') + parts.at(i);
            if (foldersMade.contains(placeKey(folder))) {
                inNewFolder = true;
                continue;
            }
            const QFileInfo place(installDir.absoluteFilePath(folder));
            if (place.isDir()) {
                continue;
            }
            if (isPresent(place)) {
                const bool hadOld = isPresent(place.absoluteFilePath() + QStringLiteral(".old"));
                steps.append(step(JournalStep::MoveAside, folder, true, hadOld));
                entryOfStep.append(index);
            }
            steps.append(step(JournalStep::MakeFolder, folder));
            entryOfStep.append(index);
            foldersMade.insert(placeKey(folder));
            inNewFolder = true;
        }
        steps.append(step(JournalStep::Stage, path));
        entryOfStep.append(index);

        const QString target = installDir.absoluteFilePath(path);
        const bool hadTarget = !inNewFolder && isPresent(target);
        const bool hadOld = hadTarget && isPresent(target + QStringLiteral(".old"));
        swaps.append(step(JournalStep::Swap, path, hadTarget, hadOld));
        entryOfSwap.append(index);
    }
    entryOfStep.append(entryOfSwap);
    return steps + swaps;
}
