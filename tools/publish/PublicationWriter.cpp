#include "PublicationWriter.h"

#include "CopyHash.h"
#include "Ed25519.h"
#include "FileListWriter.h"
#include "FileNames.h"
#include "HashList.h"
#include "Sha256Text.h"
#include "ShownPath.h"
#include "UniqueDirectory.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace {

// `hashTable`, when given, receives each file's SHA-256 text: the table that becomes
// sha256.txt.
bool copyRelease(const Publication &publication, const QDir &staging,
                 const PublishProgress &progress, FileTable &table, HashTable *hashTable,
                 quint64 &bytesDone, QString &errorText)
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
        QByteArray sha256;
        // The list describes the bytes actually copied, even if the file changed since the scan.
        if (!copier.copy(file.sourcePath, target, entry.size, entry.md5, errorText, chunkDone,
                         hashTable ? &sha256 : nullptr)) {
            return false;
        }
        table.insert(entry.path, entry);
        if (hashTable) {
            hashTable->insert(entry.path, HashEntry{entry.path, entry.size, sha256});
        }
        ++filesDone;
        if (progress) {
            progress(filesDone, bytesDone);
        }
    }
    return true;
}

bool writeStagedList(const QDir &staging, const QString &name, const QByteArray &text,
                     QString &errorText)
{
    QFile list(staging.filePath(name));
    if (!list.open(QIODevice::WriteOnly | QIODevice::NewOnly) || list.write(text) != text.size() ||
        !list.flush()) {
        errorText = QStringLiteral("cannot write %1: %2")
                        .arg(shownPath(list.fileName()), list.errorString());
        return false;
    }
    return true;
}

// The publication time in seconds, but always past the serial that OUTPUT_DIR already
// serves: clients refuse a serial lower than one they accepted, even when two publications
// fall in the same second or the clock went back.
quint64 nextSerial(const QDir &output)
{
    const quint64 now = quint64(std::max<qint64>(QDateTime::currentSecsSinceEpoch(), 0));
    Description previous;
    QString ignored;
    const QString path = output.absoluteFilePath(DescriptionFileName);
    if (!QFileInfo(path).isFile() || !readDescription(path, previous, ignored)) {
        return now;
    }
    return std::max(now, previous.serial + 1);
}

// Fills in the signed keys and signs the finished update.ini text.
bool signDescription(const Publication &publication, const QDir &output, const QByteArray &listText,
                     const QByteArray &hashListText, QByteArray &text, QByteArray &signature,
                     QString &errorText)
{
    Description description = publication.description;
    description.isSigned = true;
    description.serial = nextSerial(output);
    description.listSha256 = sha256Text(listText);
    description.hashListSha256 = sha256Text(hashListText);
    if (publication.expiresDays > 0) {
        description.expires =
            QDateTime::currentDateTimeUtc().addDays(publication.expiresDays).toString(Qt::ISODate);
    }
    if (!descriptionText(description, text, errorText) ||
        !signData(publication.signingKeyPem, text, signature, errorText)) {
        return false;
    }
    signature += '\n';
    return true;
}

// What is at `path` now, to be put back if the run fails after replacing it.
struct PreviousFile
{
    bool existed = false;
    QByteArray content;
};

bool rememberFile(const QString &path, PreviousFile &previous, QString &errorText)
{
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink()) {
        return true;
    }
    QFile file(path);
    if (!info.isFile() || !file.open(QIODevice::ReadOnly)) {
        errorText = QStringLiteral("cannot read %1, so it could not be restored after a failure")
                        .arg(shownPath(path));
        return false;
    }
    previous.existed = true;
    previous.content = file.readAll();
    return true;
}

void restoreFile(const QString &path, const PreviousFile &previous)
{
    QString ignored;
    if (previous.existed) {
        writeDescriptionFile(path, previous.content, ignored);
    } else {
        QFile::remove(path);
    }
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

    const bool signing = !publication.signingKeyPem.isEmpty();
    FileTable table;
    HashTable hashTable;
    QByteArray listText;
    QByteArray hashListText;
    if (!copyRelease(publication, QDir(staging), progress, table, signing ? &hashTable : nullptr,
                     bytesWritten, errorText) ||
        !writeFileList(table, listText, errorText, publication.pathCodec) ||
        !writeStagedList(QDir(staging), ListFileName, listText, errorText) ||
        (signing && (!writeHashList(hashTable, hashListText, errorText, publication.pathCodec) ||
                     !writeStagedList(QDir(staging), HashListFileName, hashListText, errorText)))) {
        return false;
    }
    QByteArray description;
    QByteArray signature;
    const QString signaturePath = output.absoluteFilePath(SignatureFileName);
    PreviousFile previousSignature;
    if (signing) {
        if (!signDescription(publication, output, listText, hashListText, description, signature,
                             errorText) ||
            !rememberFile(signaturePath, previousSignature, errorText)) {
            return false;
        }
    } else if (!descriptionText(publication.description, description, errorText)) {
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
    const bool signatureWritten =
        !signing || writeDescriptionFile(signaturePath, signature, errorText);
    if (!signatureWritten || !writeDescriptionFile(descriptionPath, description, errorText)) {
        // Back to the old state: the new folder returns to the staging name and is removed.
        if (signing && signatureWritten) {
            restoreFile(signaturePath, previousSignature);
        }
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
