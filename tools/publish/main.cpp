#include "Commands.h"
#include "PublishOptions.h"
#include "StandardStream.h"

#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("update-publish"));
    StandardStream standardOutput(stdout);
    StandardStream standardError(stderr);
    QTextStream &out = standardOutput.text();
    QTextStream &err = standardError.text();

    PublishOptions options;
    QString text;
    switch (parseOptions(QCoreApplication::arguments(), options, text)) {
    case ParseOutcome::Help:
        out << text << (text.endsWith(QLatin1Char('\n')) ? "" : "\n");
        return 0;
    case ParseOutcome::Failed:
        err << "update-publish: " << text << "\nTry update-publish --help.\n";
        return 2;
    case ParseOutcome::Run:
        break;
    }
    switch (options.command) {
    case PublishCommand::Verify:
        return runVerify(options, out, err);
    case PublishCommand::KeyGen:
        return runKeygen(options, out, err);
    case PublishCommand::Publish:
        break;
    }
    return runPublish(options, out, err);
}
