#include "OutputPlace.h"

#include "FileNames.h"
#include "PathNesting.h"
#include "ShownPath.h"

#include <QDir>
#include <QFileInfo>

bool checkOutputPlace(const QString &sourceDir, const QString &outputDir, QString &errorText)
{
    const QString source = resolvedPath(sourceDir);
    const QString output = resolvedPath(outputDir);
    if (isSameOrInside(output, source)) {
        errorText = QStringLiteral("OUTPUT_DIR %1 lies inside SOURCE_DIR %2; the publication "
                                   "would become part of the release")
                        .arg(shownPath(output), shownPath(source));
        return false;
    }
    if (isSameOrInside(source, output)) {
        errorText = QStringLiteral("SOURCE_DIR %1 lies inside OUTPUT_DIR %2; publishing would "
                                   "serve or replace the release itself")
                        .arg(shownPath(source), shownPath(output));
        return false;
    }
    const QFileInfo outputInfo(output);
    if (outputInfo.exists() && !outputInfo.isDir()) {
        errorText = QStringLiteral("OUTPUT_DIR %1 is not a folder").arg(shownPath(output));
        return false;
    }
    const QFileInfo description(QDir(output).filePath(DescriptionFileName));
    if (description.exists() && !description.isFile()) {
        errorText = QStringLiteral("%1 is not a regular file, so it cannot be replaced")
                        .arg(shownPath(description.filePath()));
        return false;
    }
    return true;
}

bool createOutputDirectory(const QString &outputDir, QStringList &created, QString &errorText)
{
    QStringList missing;
    QString path = QFileInfo(outputDir).absoluteFilePath();
    while (!QFileInfo::exists(path)) {
        missing.prepend(path);
        const QString parent = QFileInfo(path).path();
        if (parent == path) {
            break;
        }
        path = parent;
    }
    for (const QString &dir : qAsConst(missing)) {
        if (!QDir().mkdir(dir)) {
            removeCreatedDirectories(created);
            created.clear();
            errorText = QStringLiteral("cannot create the folder %1").arg(shownPath(dir));
            return false;
        }
        created << dir;
    }
    return true;
}

void removeCreatedDirectories(const QStringList &created)
{
    for (auto it = created.crbegin(); it != created.crend(); ++it) {
        QDir().rmdir(*it);
    }
}
