#include "Commands.h"

#include "Ed25519.h"
#include "KeyFile.h"
#include "PublishOptions.h"
#include "ShownPath.h"

#include <QTextStream>

int runKeygen(const PublishOptions &options, QTextStream &out, QTextStream &err)
{
    if (options.keyFile.isEmpty()) {
        err << "update-publish: --keygen needs the file to create\n";
        return 2;
    }
    QByteArray privateKey;
    QByteArray publicKey;
    QString errorText;
    if (!generateKeyPair(privateKey, publicKey, errorText) ||
        !createPrivateFile(options.keyFile, privateKey, errorText)) {
        err << "update-publish: " << errorText << '\n';
        return 1;
    }
    // Standard output carries the public key alone, so that scripts can take it as it is.
    out << publicKey << '\n';
    if (!options.quiet) {
        err << "Wrote the private key to " << shownPath(options.keyFile)
            << " (readable by its owner only). Keep it offline: whoever holds it can sign "
               "updates.\n"
            << "Clients verify with the public key above: put PublicKey=<that line> into the "
               "[Update] section of system.cfg.\n";
    }
    return 0;
}
