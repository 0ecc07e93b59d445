#include "Commands.h"

#include "PublishOptions.h"
#include "ShownPath.h"
#include "Verify.h"

#include <QDir>
#include <QTextStream>

int runVerify(const PublishOptions &options, QTextStream &out, QTextStream &err)
{
    VerifyReport report;
    QString errorText;
    if (!verifyPublication(options.outputDir, options.pathCodec, report, errorText,
                           options.publicKey)) {
        err << "update-publish: " << errorText << '\n';
        return 1;
    }
    const QString folder = shownPath(QDir(options.outputDir).filePath(report.description.folder));
    if (!report.mismatches.isEmpty()) {
        for (const QString &mismatch : qAsConst(report.mismatches)) {
            err << "Mismatch: " << mismatch << '\n';
        }
        err << QStringLiteral("%1 problem(s) in %2; clients would fail to update.\n")
                   .arg(report.mismatches.size())
                   .arg(folder);
        return 1;
    }
    const QString version =
        report.description.version.isEmpty()
            ? QString()
            : QStringLiteral(" of version ") + shownPath(report.description.version);
    out << QStringLiteral("Verified %1 files%2 in %3.\n")
               .arg(report.filesChecked)
               .arg(version, folder);
    if (report.description.isSigned) {
        out << (options.publicKey.isEmpty()
                    ? "The publication is signed; give --public-key to check its signature too.\n"
                    : "The signature matches the public key.\n");
    } else if (!options.publicKey.isEmpty()) {
        err << "update-publish: the publication is not signed; clients with a PublicKey refuse "
               "it.\n";
        return 1;
    }
    return 0;
}
