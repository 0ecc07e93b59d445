#include "Commands.h"

#include "Ed25519.h"
#include "ExcludeFilter.h"
#include "KeyFile.h"
#include "OutputPlace.h"
#include "PathNesting.h"
#include "PathRules.h"
#include "ProgressDisplay.h"
#include "PublicationWriter.h"
#include "PublishOptions.h"
#include "ReleaseRules.h"
#include "ReleaseScan.h"
#include "ServerUrl.h"
#include "ShownPath.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTextStream>

namespace {

// Everything that can be refused before OUTPUT_DIR is touched, one message per problem.
QStringList refusals(const PublishOptions &options, const ExcludeFilter &filter,
                     QList<ReleaseFile> &files)
{
    QString errorText;
    const QString folderProblem = folderNameProblem(options.folder);
    if (!folderProblem.isEmpty()) {
        return {QStringLiteral("--folder %1 %2").arg(shownPath(options.folder), folderProblem)};
    }
    if (!options.url.isEmpty() && !checkServerUrl(options.url, errorText)) {
        return {errorText};
    }
    if (!checkSourceDir(options.sourceDir, errorText) ||
        !checkOutputPlace(options.sourceDir, options.outputDir, errorText)) {
        return {errorText};
    }
    QStringList problems;
    files = scanRelease(options.sourceDir, filter, problems);
    return problems + releaseProblems(files, options.pathCodec);
}

// The private key, read and checked before anything is written. A key inside SOURCE_DIR or
// OUTPUT_DIR is refused: it would be published for everyone to sign with.
bool readSigningKey(const PublishOptions &options, QByteArray &privateKey, QByteArray &publicKey,
                    QString &errorText)
{
    const QString key = resolvedPath(options.keyFile);
    for (const QString &dir : {options.sourceDir, options.outputDir}) {
        if (isSameOrInside(key, resolvedPath(dir))) {
            errorText = QStringLiteral("the key file %1 lies inside %2, where it would be "
                                       "published; keep it outside both folders")
                            .arg(shownPath(options.keyFile), shownPath(dir));
            return false;
        }
    }
    if (!readKeyFile(options.keyFile, privateKey, errorText) ||
        !publicKeyOf(privateKey, publicKey, errorText)) {
        errorText = QStringLiteral("--sign: ") + errorText;
        return false;
    }
    return true;
}

quint64 totalSize(const QList<ReleaseFile> &files)
{
    quint64 total = 0;
    for (const ReleaseFile &file : files) {
        total += file.size;
    }
    return total;
}

} // namespace

int runPublish(const PublishOptions &options, QTextStream &out, QTextStream &err)
{
    QElapsedTimer clock;
    clock.start();

    ExcludeFilter filter;
    QString errorText;
    if (!filter.setPatterns(options.excludes, errorText)) {
        err << "update-publish: " << errorText << '\n';
        return 2;
    }
    Publication publication;
    QStringList problems = refusals(options, filter, publication.files);
    QByteArray publicKey;
    if (!options.keyFile.isEmpty() &&
        !readSigningKey(options, publication.signingKeyPem, publicKey, errorText)) {
        problems << errorText;
    }
    if (!problems.isEmpty()) {
        for (const QString &problem : problems) {
            err << "Refused: " << problem << '\n';
        }
        err << "Nothing was written.\n";
        return 1;
    }

    QStringList created;
    if (!createOutputDirectory(options.outputDir, created, errorText)) {
        err << "update-publish: " << errorText << '\n';
        return 1;
    }
    publication.outputDir = options.outputDir;
    publication.description.updateType = options.updateType;
    publication.description.connections = QString::number(options.connections);
    publication.description.folder = options.folder;
    publication.description.version = options.version;
    publication.pathCodec = options.pathCodec;
    publication.expiresDays = options.expiresDays;

    ProgressDisplay display(err, publication.files.size(), totalSize(publication.files),
                            !options.quiet && ProgressDisplay::standardErrorIsTerminal());
    const auto progress = [&display](int filesDone, quint64 bytesDone) {
        display.update(filesDone, bytesDone);
    };
    quint64 bytesWritten = 0;
    QString warningText;
    const bool written =
        writePublication(publication, progress, bytesWritten, errorText, warningText);
    display.finish();
    if (!written) {
        removeCreatedDirectories(created);
        err << "update-publish: " << errorText << '\n'
            << "Nothing was published; OUTPUT_DIR is as it was.\n";
        return 1;
    }
    if (!warningText.isEmpty()) {
        err << "Warning: " << warningText << '\n';
    }

    out << systemCfgUrlLine(options.url) << '\n';
    if (!publicKey.isEmpty()) {
        out << "PublicKey=" << publicKey << '\n';
    }
    out << QStringLiteral("Published %1 files, %2 bytes, to %3 in %4 s.\n")
               .arg(publication.files.size())
               .arg(bytesWritten)
               .arg(shownPath(QDir(options.outputDir).filePath(options.folder)))
               .arg(double(clock.elapsed()) / 1000.0, 0, 'f', 2);
    return 0;
}
