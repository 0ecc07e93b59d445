#include "PublishOptions.h"

#include "Ed25519.h"

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
    "update-publish --verify OUTPUT_DIR [--path-encoding NAME] [--public-key KEY] checks an "
    "existing publication: every listed file must be there with its size and MD5 text; a signed "
    "one also needs its signature (checked against KEY when given), sha256.txt and matching "
    "SHA-256 texts.\n"
    "\n"
    "update-publish --keygen KEY_FILE creates an Ed25519 key pair for signed updates: the "
    "private key goes to the new file KEY_FILE, readable by its owner only (keep it offline), "
    "and the public key is printed as one base64 line, the value of PublicKey in system.cfg. "
    "Publishing with --sign KEY_FILE adds sha256.txt, the signed keys of update.ini and "
    "update.ini.sig; clients that have a PublicKey accept only such publications.\n"
    "\n"
    "Exit status: 0 done, 1 refused, failed or mismatches found, 2 wrong command line.");

// A century: far enough for any release, near enough that the date stays an ordinary one.
constexpr int MaxExpiresDays = 36500;

// Paths must stay separable by tab, line feed and slash after encoding, so the encoding has to
// write ASCII as ASCII (this rules out UTF-16 and the like).
bool keepsAscii(QTextCodec *codec)
{
    const QString sample = QStringLiteral("Aa0 ._-/\t\n");
    return codec->fromUnicode(sample) == sample.toLatin1();
}

// An option's value as a whole number from 1 to `most`.
bool readCount(const QCommandLineParser &parser, const QCommandLineOption &option, int most,
               int &value, QString &text)
{
    bool ok = false;
    value = parser.value(option).toInt(&ok);
    if (ok && value >= 1 && value <= most)
        return true;
    text = QStringLiteral("--%1 must be a whole number from 1 to %2, not \"%3\"")
               .arg(option.names().constFirst())
               .arg(most)
               .arg(parser.value(option));
    return false;
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
    const QCommandLineOption connections(
        QStringLiteral("connections"),
        QStringLiteral("Files a client fetches at once, 1 to 6 (default: 4). Clients before "
                       "this setting fetch one at a time."),
        QStringLiteral("N"));
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
    const QCommandLineOption keygen(
        QStringLiteral("keygen"),
        QStringLiteral("Create a new Ed25519 key pair: the private key in the new file KEY_FILE "
                       "(never overwritten), the public key printed for system.cfg."),
        QStringLiteral("KEY_FILE"));
    const QCommandLineOption sign(
        QStringLiteral("sign"),
        QStringLiteral("Sign the publication with the private key in KEY_FILE."),
        QStringLiteral("KEY_FILE"));
    const QCommandLineOption expiresDays(
        QStringLiteral("expires-days"),
        QStringLiteral("With --sign: clients refuse the description N days after publishing "
                       "(default: it never expires)."),
        QStringLiteral("N"));
    const QCommandLineOption publicKey(
        QStringLiteral("public-key"),
        QStringLiteral("With --verify: the base64 public key (system.cfg's PublicKey) that must "
                       "have signed the publication."),
        QStringLiteral("KEY"));
    parser.addOptions({verify, folder, version, type, connections, exclude, url, pathEncoding,
                       quiet, keygen, sign, expiresDays, publicKey});
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
    if (parser.isSet(keygen)) {
        for (const QCommandLineOption &other : {verify, folder, version, type, connections, exclude,
                                                url, pathEncoding, sign, expiresDays, publicKey}) {
            if (parser.isSet(other)) {
                text = QStringLiteral("--%1 cannot be used with --keygen")
                           .arg(other.names().constFirst());
                return ParseOutcome::Failed;
            }
        }
        if (!positional.isEmpty()) {
            text = QStringLiteral("--keygen takes no folders");
            return ParseOutcome::Failed;
        }
        options.command = PublishCommand::KeyGen;
        options.keyFile = parser.value(keygen);
        options.quiet = parser.isSet(quiet);
        return ParseOutcome::Run;
    }
    if (parser.isSet(expiresDays) && !parser.isSet(sign)) {
        text = QStringLiteral("--expires-days needs --sign: only a signed description can expire");
        return ParseOutcome::Failed;
    }
    if (parser.isSet(verify)) {
        for (const QCommandLineOption &publishOnly :
             {folder, version, type, connections, exclude, url, sign, expiresDays}) {
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
        options.publicKey = parser.value(publicKey).toLatin1();
        if (parser.isSet(publicKey) && !isValidPublicKey(options.publicKey)) {
            text = QStringLiteral("--public-key: \"%1\" is not a base64 Ed25519 public key")
                       .arg(parser.value(publicKey));
            return ParseOutcome::Failed;
        }
    } else {
        if (parser.isSet(publicKey)) {
            text = QStringLiteral("--public-key can only be used with --verify");
            return ParseOutcome::Failed;
        }
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
    if (parser.isSet(connections) &&
        !readCount(parser, connections, MostConnections, options.connections, text)) {
        return ParseOutcome::Failed;
    }
    if (parser.isSet(folder)) {
        options.folder = parser.value(folder);
    }
    options.version = parser.value(version);
    options.excludes = parser.values(exclude);
    options.url = parser.value(url);
    options.quiet = parser.isSet(quiet);
    options.keyFile = parser.value(sign);
    if (parser.isSet(sign) && options.keyFile.isEmpty()) {
        text = QStringLiteral("--sign needs the private key's file");
        return ParseOutcome::Failed;
    }
    if (parser.isSet(expiresDays) &&
        !readCount(parser, expiresDays, MaxExpiresDays, options.expiresDays, text)) {
        return ParseOutcome::Failed;
    }

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
