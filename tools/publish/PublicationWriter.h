#pragma once

#include "Description.h"
#include "ReleaseScan.h"

#include <QList>
#include <QString>

#include <functional>

class QTextCodec;

struct Publication
{
    QString outputDir; // must exist
    Description description;
    QTextCodec *pathCodec = nullptr; // nullptr: the local 8-bit encoding
    QList<ReleaseFile> files;        // sorted by path and checked by releaseProblems

    // When not empty, the publication is signed with this Ed25519 private key (PEM): the
    // folder gets sha256.txt beside md5.txt, update.ini the signed keys, and update.ini.sig
    // holds the signature of update.ini.
    QByteArray signingKeyPem;
    int expiresDays = 0; // > 0: a signed description expires this many days after publishing
};

// Told after every chunk copied and after every file finished.
using PublishProgress = std::function<void(int filesDone, quint64 bytesDone)>;

// Writes OUTPUT_DIR/FOLDER (the files, then md5.txt and, when signing, sha256.txt) under a
// hidden temporary name, renames it into place (a previous FOLDER is moved aside first and
// removed at the end), and writes update.ini last, atomically. A client therefore always finds
// update.ini naming a complete folder, apart from the moment between the two renames when
// FOLDER is replaced in place. When signing, update.ini.sig is replaced atomically just before
// update.ini: a client that fetches the old update.ini and then the new signature in that
// moment fails once and succeeds when it tries again, and update.ini, the file that makes the
// new version visible, stays the last to change.
// On failure OUTPUT_DIR is left as it was. `warningText` reports a leftover that could not be
// removed after an otherwise successful run.
bool writePublication(const Publication &publication, const PublishProgress &progress,
                      quint64 &bytesWritten, QString &errorText, QString &warningText);
