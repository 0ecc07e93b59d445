#include "PublicationWriter.h"

#include "CopyHash.h"
#include "DisplayText.h"
#include "FileListWriter.h"
#include "FileNames.h"
#include "UniqueDirectory.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

const QString ListFileName = QStringLiteral("md5.txt");

bool copyRelease(const Publication &publication, const QDir &staging,
                 const PublishProgress &progress, FileTable &table, quint64 &bytesDone,
                 QString &errorText)
{
    FileCopier copier;
    int filesDone = 0;
    bytesDone = 0;
    const auto chunkDone = [&](quint64 bytes) {
        bytesDone += bytes;
        if (progress) {
            progress(filesDone, bytesDone);
        }
    };
    for (const ReleaseFile &file : publication.files) {
        const QString target = staging.filePath(file.path);
        if (!QDir().mkpath(QFileInfo(target).path())) {
            errorText = QStringLiteral("cannot create the folder for %1").arg(shownPath(target));
            return false;
        }
        FileEntry entry;
        entry.path = file.path;
        // The list describes the bytes actually copied, even if the file changed since the scan.
        if (!copier.copy(file.sourcePath, target, entry.size, entry.md5, errorText, chunkDone)) {
            return false;
        }
        table.insert(entry.path, entry);
        ++filesDone;
        if (progress) {
            progress(filesDone, bytesDone);
        }
    }
    return true;
}

bool writeList(const FileTable &table, const QDir &staging, QTextCodec *pathCodec,
               QString &errorText)
{
    QByteArray text;
    if (!writeFileList(table, text, errorText, pathCodec)) {
        return false;
    }
    QFile list(staging.filePath(ListFileName));
    if (!list.open(QIODevice::WriteOnly | QIODevice::NewOnly) || list.write(text) != text.size() ||
        !list.flush()) {
        errorText = QStringLiteral("cannot write %1: %2")
                        .arg(shownPath(list.fileName()), list.errorString());
        return false;
    }
    return true;
}

bool renameEntry(const QString &from, const QString &to, QString &errorText)
{
    if (!QDir().rename(from, to)) {
        errorText = QStringLiteral("cannot rename %1 to %2").arg(shownPath(from), shownPath(to));
        return false;
    }
    return true;
}

} // namespace

bool writePublication(const Publication &publication, const PublishProgress &progress,
                      quint64 &bytesWritten, QString &errorText, QString &warningText)
{
    const QDir output(QFileInfo(publication.outputDir).absoluteFilePath());
    const QString folderName = publication.description.folder;
    const QString folderPath = output.absoluteFilePath(folderName);

    QString staging;
    if (!createUniqueDirectory(output,
                               QLatin1Char('.') + folderName + QLatin1String(".publishing-"),
                               staging, errorText)) {
        return false;
    }
    DirectoryRemover stagingRemover(staging);

    FileTable table;
    if (!copyRelease(publication, QDir(staging), progress, table, bytesWritten, errorText) ||
        !writeList(table, QDir(staging), publication.pathCodec, errorText)) {
        return false;
    }
    QByteArray description;
    if (!descriptionText(publication.description, description, errorText)) {
        return false;
    }

    // The previous folder goes into a hidden folder of its own rather than to a sibling name,
    // so the name it moves to is guaranteed free.
    QString aside;
    QString previous;
    DirectoryRemover asideRemover;
    const QFileInfo folderInfo(folderPath);
    if (folderInfo.exists() || folderInfo.isSymLink()) {
        if (!createUniqueDirectory(output,
                                   QLatin1Char('.') + folderName + QLatin1String(".replaced-"),
                                   aside, errorText)) {
            return false;
        }
        asideRemover.reset(aside);
        previous = QDir(aside).absoluteFilePath(folderName);
        if (!renameEntry(folderPath, previous, errorText)) {
            return false;
        }
    }
    // After a failure the previous folder must survive: if it cannot go back into place, it is
    // kept where it was set aside and the message says where.
    const auto restorePrevious = [&]() {
        QString ignored;
        if (!previous.isEmpty() && !renameEntry(previous, folderPath, ignored)) {
            asideRemover.release();
            errorText += QStringLiteral("; the previous %1 is kept as %2")
                             .arg(shownPath(folderName), shownPath(previous));
        }
    };

    if (!renameEntry(staging, folderPath, errorText)) {
        restorePrevious();
        return false;
    }
    const QString descriptionPath = output.absoluteFilePath(DescriptionFileName);
    if (!writeDescriptionFile(descriptionPath, description, errorText)) {
        // Back to the old state: the new folder returns to the staging name and is removed.
        QString ignored;
        renameEntry(folderPath, staging, ignored);
        restorePrevious();
        return false;
    }
    stagingRemover.release();
    if (!asideRemover.removeNow()) {
        warningText = QStringLiteral("the previous content of %1 could not be removed completely "
                                     "from %2")
                          .arg(shownPath(folderPath), shownPath(aside));
    }
    return true;
}
