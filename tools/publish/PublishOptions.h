#pragma once

#include "DownloadConnections.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

class QTextCodec;

enum class PublishCommand
{
    Publish,
    Verify,
    KeyGen
};

// Transfers a client keeps in flight: a distant server costs a round trip per file otherwise.
constexpr int DefaultConnections = 4;

struct PublishOptions
{
    PublishCommand command = PublishCommand::Publish;
    QString sourceDir;
    QString outputDir;
    QString folder = QStringLiteral("Base");
    QString version;
    int updateType = 1;
    int connections = DefaultConnections; // --connections
    QStringList excludes;
    QString url;                     // empty when not given
    QTextCodec *pathCodec = nullptr; // never nullptr after a successful parse
    bool quiet = false;
    QString keyFile;      // --keygen: the file to create; --sign: the private key to sign with
    int expiresDays = 0;  // --expires-days; 0 when not given
    QByteArray publicKey; // --public-key of --verify; empty when not given
};

enum class ParseOutcome
{
    Run,
    Help,
    Failed
};

// Reads the command line (arguments()[0] is the program). Help: `text` is the help to print.
// Failed: `text` says what is wrong with the command line.
ParseOutcome parseOptions(const QStringList &arguments, PublishOptions &options, QString &text);
