#include "PublishOptions.h"

#include <QCommandLineParser>
#include <QTextCodec>

namespace {

const QString Description = QStringLiteral(
    "Publishes a release for the updater: writes OUTPUT_DIR/update.ini and OUTPUT_DIR/FOLDER/ "
    "holding every file of SOURCE_DIR and md5.txt, ready for any static HTTP server.\n"
    "SOURCE_DIR is the release as it looks once installed. Symbolic links that stay inside it "
    "are followed (a link to a file is published with the target's content under the link's "
    "name); links that leave it are refused. Empty folders are not published.\n"
    "A release whose paths the updater could not fetch or install on Windows is refused "
    "before anything is written, and a failed run leaves OUTPUT_DIR as it was.\n"
    "\n"
    "update-publish --verify OUTPUT_DIR [--path-encoding NAME] checks an existing publication: "
    "every listed file must be there with its size and MD5 text.\n"
    "\n"
    "Exit status: 0 done, 1 refused, failed or mismatches found, 2 wrong command line.");

// Paths must stay separable by tab, line feed and slash after encoding, so the encoding has to
// write ASCII as ASCII (this rules out UTF-16 and the like).
bool keepsAscii(QTextCodec *codec)
{
    const QString sample = QStringLiteral("Aa0 ._-/\t\n");
    return codec->fromUnicode(sample) == sample.toLatin1();
}

} // namespace

ParseOutcome parseOptions(const QStringList &arguments, PublishOptions &options, QString &text)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(Description);
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption verify(
        QStringLiteral("verify"),
        QStringLiteral("Check the publication in OUTPUT_DIR instead of publishing."));
    const QCommandLineOption folder(
        QStringLiteral("folder"),
        QStringLiteral("Version folder below OUTPUT_DIR (default: Base). A new name for each "
                       "version keeps clients that are still updating undisturbed."),
        QStringLiteral("NAME"));
    const QCommandLineOption version(QStringLiteral("version"),
                                     QStringLiteral("Version text shown to users (default: none)."),
                                     QStringLiteral("TEXT"));
    const QCommandLineOption type(QStringLiteral("type"),
                                  QStringLiteral("0: optional update, the user is asked; "
                                                 "1: mandatory update (default)."),
                                  QStringLiteral("0|1"));
    const QCommandLineOption exclude(
        QStringLiteral("exclude"),
        QStringLiteral("Leave out files and folders matching the wildcard PATTERN (*, ?, [...]), "
                       "ignoring letter case, either against the path relative to SOURCE_DIR "
                       "('/' separated; * and ? stop at '/') or against the name alone. "
                       "Repeatable."),
        QStringLiteral("PATTERN"));
    const QCommandLineOption url(
        QStringLiteral("url"),
        QStringLiteral("Address at which OUTPUT_DIR will be served; used for the URL line "
                       "printed for system.cfg."),
        QStringLiteral("BASE"));
    const QCommandLineOption pathEncoding(
        QStringLiteral("path-encoding"),
        QStringLiteral("Encoding of the paths in md5.txt: the ANSI code page of the clients' "
                       "Windows, e.g. GBK or GB18030 (default: this system's local 8-bit "
                       "encoding)."),
        QStringLiteral("NAME"));
    const QCommandLineOption quiet(QStringLiteral("quiet"),
                                   QStringLiteral("Do not show progress on the terminal."));
    parser.addOptions({verify, folder, version, type, exclude, url, pathEncoding, quiet});
    parser.addPositionalArgument(QStringLiteral("SOURCE_DIR"),
                                 QStringLiteral("The release as it looks once installed."));
    parser.addPositionalArgument(QStringLiteral("OUTPUT_DIR"),
                                 QStringLiteral("The folder to serve over HTTP."));

    if (!parser.parse(arguments)) {
        text = parser.errorText();
        return ParseOutcome::Failed;
    }
    if (parser.isSet(help)) {
        text = parser.helpText();
        return ParseOutcome::Help;
    }

    const QStringList positional = parser.positionalArguments();
    if (parser.isSet(verify)) {
        for (const QCommandLineOption &publishOnly : {folder, version, type, exclude, url}) {
            if (parser.isSet(publishOnly)) {
                text = QStringLiteral("--%1 cannot be used with --verify")
                           .arg(publishOnly.names().constFirst());
                return ParseOutcome::Failed;
            }
        }
        if (positional.size() != 1) {
            text = QStringLiteral("--verify takes exactly one folder, OUTPUT_DIR");
            return ParseOutcome::Failed;
        }
        options.command = PublishCommand::Verify;
        options.outputDir = positional.at(0);
    } else {
        if (positional.size() != 2) {
            text = QStringLiteral("expected SOURCE_DIR and OUTPUT_DIR");
            return ParseOutcome::Failed;
        }
        options.command = PublishCommand::Publish;
        options.sourceDir = positional.at(0);
        options.outputDir = positional.at(1);
    }

    if (parser.isSet(type)) {
        const QString value = parser.value(type);
        if (value != QLatin1String("0") && value != QLatin1String("1")) {
            text = QStringLiteral("--type must be 0 (optional) or 1 (mandatory), not \"%1\"")
                       .arg(value);
            return ParseOutcome::Failed;
        }
        options.updateType = value.toInt();
    }
    if (parser.isSet(folder)) {
        options.folder = parser.value(folder);
    }
    options.version = parser.value(version);
    options.excludes = parser.values(exclude);
    options.url = parser.value(url);
    options.quiet = parser.isSet(quiet);

    options.pathCodec = QTextCodec::codecForLocale();
    if (parser.isSet(pathEncoding)) {
        const QString name = parser.value(pathEncoding);
        options.pathCodec = QTextCodec::codecForName(name.toLatin1());
        if (!options.pathCodec) {
            text = QStringLiteral("--path-encoding: unknown encoding \"%1\"").arg(name);
            return ParseOutcome::Failed;
        }
        if (!keepsAscii(options.pathCodec)) {
            text = QStringLiteral("--path-encoding: \"%1\" does not write ASCII as ASCII, so the "
                                  "updater could not read the list")
                       .arg(name);
            return ParseOutcome::Failed;
        }
    }
    return ParseOutcome::Run;
}
