#include "ReleaseRules.h"

#include "FileNames.h"
#include "PathRules.h"
#include "ShownPath.h"

#include <QHash>
#include <QTextCodec>

namespace {

bool survivesEncoding(const QString &path, QTextCodec *codec)
{
    return codec->canEncode(path) && codec->toUnicode(codec->fromUnicode(path)) == path;
}

// Windows compares names ignoring case, so a file can collide with another file or with a
// folder that some other path passes through.
QStringList caseCollisions(const QList<ReleaseFile> &files)
{
    QHash<QString, QString> folders;
    for (const ReleaseFile &file : files) {
        int slash = file.path.indexOf(QLatin1Char('/'));
        while (slash >= 0) {
            const QString folder = file.path.left(slash);
            folders.insert(folder.toCaseFolded(), folder);
            slash = file.path.indexOf(QLatin1Char('/'), slash + 1);
        }
    }
    QStringList problems;
    QHash<QString, QString> seen;
    for (const ReleaseFile &file : files) {
        const QString folded = file.path.toCaseFolded();
        const QString clash = seen.value(folded, folders.value(folded));
        if (!clash.isEmpty()) {
            problems << QStringLiteral("%1 and %2 differ only in letter case, which Windows "
                                       "cannot tell apart")
                            .arg(shownPath(file.path), shownPath(clash));
        }
        seen.insert(folded, file.path);
    }
    return problems;
}

} // namespace

QStringList releaseProblems(const QList<ReleaseFile> &files, QTextCodec *pathCodec)
{
    QStringList problems;
    const QString codecName = QString::fromLatin1(pathCodec->name());
    for (const ReleaseFile &file : files) {
        const QString shown = shownPath(file.path);
        const QString problem = listPathProblem(file.path);
        if (!problem.isEmpty()) {
            problems << shown + QLatin1Char(' ') + problem;
        } else if (!survivesEncoding(file.path, pathCodec)) {
            problems << QStringLiteral("%1 cannot be written in the path encoding %2")
                            .arg(shown, codecName);
        }
        if (file.path.section(QLatin1Char('/'), 0, 0).compare(ListFileName, Qt::CaseInsensitive) ==
            0) {
            problems << QStringLiteral("%1 would take the place of the file list %2")
                            .arg(shown, ListFileName);
        }
    }
    return problems + caseCollisions(files);
}
