#include "Verify.h"

#include "DisplayText.h"
#include "FileList.h"
#include "FileNames.h"
#include "Md5Text.h"
#include "PathRules.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

const QString ListFileName = QStringLiteral("md5.txt");

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

} // namespace

bool verifyPublication(const QString &outputDir, QTextCodec *pathCodec, VerifyReport &report,
                       QString &errorText)
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
    const FileTable table = parseFileList(text, pathCodec);
    for (const FileEntry &entry : table) {
        const QString problem = entryProblem(folder, entry);
        if (!problem.isEmpty()) {
            report.mismatches << problem;
        }
        ++report.filesChecked;
    }
    return true;
}
