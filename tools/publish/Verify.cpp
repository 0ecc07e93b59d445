#include "Verify.h"

#include "Ed25519.h"
#include "FileDigests.h"
#include "FileList.h"
#include "FileNames.h"
#include "HashList.h"
#include "Md5Text.h"
#include "PathRules.h"
#include "PublishOptions.h"
#include "Sha256Text.h"
#include "ShownPath.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

// The updater silently skips lines that are not entries, so a cut-off upload could drop
// files from the list without any listed file being wrong.
QStringList listFormatProblems(const QByteArray &text, const QString &listPath)
{
    QStringList problems;
    if (!text.isEmpty() && !text.endsWith('\n')) {
        problems << QStringLiteral("%1 does not end with a line feed; it may be cut off")
                        .arg(shownPath(listPath));
    }
    const QList<QByteArray> lines = text.split('\n');
    for (int i = 0; i < lines.size(); ++i) {
        QByteArray line = lines.at(i);
        if (line.endsWith('\r')) {
            line.chop(1);
        }
        const bool lastAndEmpty = i == lines.size() - 1 && line.isEmpty();
        if (!lastAndEmpty && line.count('\t') != 2) {
            problems << QStringLiteral("%1 line %2 is not a file entry; the updater ignores it")
                            .arg(shownPath(listPath))
                            .arg(i + 1);
        }
    }
    return problems;
}

QString entryProblem(const QDir &folder, const FileEntry &entry)
{
    const QString shown = shownPath(entry.path);
    const QString pathProblem = listPathProblem(entry.path);
    if (!pathProblem.isEmpty()) {
        return shown + QLatin1Char(' ') + pathProblem;
    }
    const QFileInfo info(folder.filePath(entry.path));
    if (!info.exists()) {
        return QStringLiteral("%1 is missing").arg(shown);
    }
    if (!info.isFile()) {
        return QStringLiteral("%1 is not a regular file").arg(shown);
    }
    if (quint64(info.size()) != entry.size) {
        return QStringLiteral("%1 has %2 bytes, the list says %3")
            .arg(shown)
            .arg(info.size())
            .arg(entry.size);
    }
    if (!fileMatchesMd5(info.filePath(), entry.md5)) {
        return QStringLiteral("%1 does not match its MD5 text %2")
            .arg(shown, QString::fromLatin1(entry.md5));
    }
    return QString();
}

QByteArray readWhole(const QString &path, bool &readable)
{
    QFile file(path);
    readable = QFileInfo(path).isFile() && file.open(QIODevice::ReadOnly);
    return readable ? file.readAll() : QByteArray();
}

// What a client with the key would refuse before it fetches any file. `hashes` receives
// sha256.txt's entries.
QStringList signedPartProblems(const QDir &output, const QDir &folder,
                               const Description &description, const QByteArray &listText,
                               QTextCodec *pathCodec, const QByteArray &publicKey,
                               HashTable &hashes)
{
    QStringList problems;
    bool readable = false;
    const QString signaturePath = output.filePath(SignatureFileName);
    const QByteArray signature = readWhole(signaturePath, readable);
    if (!readable) {
        problems << QStringLiteral("%1 is missing").arg(shownPath(signaturePath));
    } else if (!publicKey.isEmpty()) {
        const QString descriptionPath = output.filePath(DescriptionFileName);
        if (!verifySignature(publicKey, readWhole(descriptionPath, readable), signature)) {
            problems << QStringLiteral("%1 is not a signature of %2 by the given public key")
                            .arg(shownPath(signaturePath), shownPath(descriptionPath));
        }
    }
    if (sha256Text(listText) != description.listSha256) {
        problems << QStringLiteral("%1 does not match ListSha256 of %2")
                        .arg(shownPath(folder.filePath(ListFileName)), DescriptionFileName);
    }
    const QString hashListPath = folder.filePath(HashListFileName);
    const QByteArray hashListText = readWhole(hashListPath, readable);
    if (!readable) {
        problems << QStringLiteral("%1 is missing").arg(shownPath(hashListPath));
    } else if (sha256Text(hashListText) != description.hashListSha256) {
        problems << QStringLiteral("%1 does not match HashListSha256 of %2")
                        .arg(shownPath(hashListPath), DescriptionFileName);
    }
    hashes = parseHashList(hashListText, pathCodec);
    return problems;
}

QString sha256Problem(const QDir &folder, const FileEntry &entry, const HashTable &hashes)
{
    const auto hashed = hashes.constFind(entry.path);
    if (hashed == hashes.cend() || hashed->size != entry.size) {
        return QStringLiteral("%1 is not listed in %2 with its size")
            .arg(shownPath(entry.path), HashListFileName);
    }
    if (!fileMatchesMd5AndSha256(folder.filePath(entry.path), entry.md5, hashed->sha256)) {
        return QStringLiteral("%1 does not match its SHA-256 text %2")
            .arg(shownPath(entry.path), QString::fromLatin1(hashed->sha256));
    }
    return QString();
}

} // namespace

bool verifyPublication(const QString &outputDir, QTextCodec *pathCodec, VerifyReport &report,
                       QString &errorText, const QByteArray &publicKey)
{
    const QDir output(outputDir);
    if (!readDescription(output.filePath(DescriptionFileName), report.description, errorText)) {
        return false;
    }
    const QString folderProblem = folderNameProblem(report.description.folder);
    if (!folderProblem.isEmpty()) {
        errorText =
            QStringLiteral("the folder %1 named in %2 %3")
                .arg(shownPath(report.description.folder), DescriptionFileName, folderProblem);
        return false;
    }
    const QDir folder(output.filePath(report.description.folder));
    QFile list(folder.filePath(ListFileName));
    if (!QFileInfo(list.fileName()).isFile() || !list.open(QIODevice::ReadOnly)) {
        errorText = QStringLiteral("cannot read %1").arg(shownPath(list.fileName()));
        return false;
    }
    const QByteArray text = list.readAll();
    report.mismatches = listFormatProblems(text, list.fileName());
    const QString &connections = report.description.connections;
    bool isNumber = false;
    const int count = connections.toInt(&isNumber);
    if (!connections.isEmpty() && (!isNumber || count < 1 || count > MostConnections)) {
        report.mismatches << QStringLiteral("Connections=%1 in %2 is not a number from 1 to %3; "
                                            "clients fetch one file at a time")
                                 .arg(connections, DescriptionFileName)
                                 .arg(MostConnections);
    }
    HashTable hashes;
    const bool isSigned = report.description.isSigned;
    if (isSigned) {
        report.mismatches << signedPartProblems(output, folder, report.description, text, pathCodec,
                                                publicKey, hashes);
    }
    const FileTable table = parseFileList(text, pathCodec);
    for (const FileEntry &entry : table) {
        QString problem = entryProblem(folder, entry);
        if (problem.isEmpty() && isSigned) {
            problem = sha256Problem(folder, entry, hashes);
        }
        if (!problem.isEmpty()) {
            report.mismatches << problem;
        }
        ++report.filesChecked;
    }
    return true;
}
