#pragma once

#include "TestServer.h"

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>

// A release to publish signed, in memory, the way update-publish lays it out.
struct SignedRelease
{
    QMap<QString, QByteArray> files; // path -> content
    QString folder = QStringLiteral("Base");
    int updateType = 1;
    quint64 serial = 200;
    QString expires;           // empty: no Expires key
    QStringList droppedKeys;   // [Version] keys left out of update.ini, e.g. "Serial"
    QStringList unhashedFiles; // paths left out of sha256.txt
};

// Every byte a server holds for one signed publication.
struct SignedPublication
{
    QString folder;
    QByteArray description; // update.ini
    QByteArray signature;   // update.ini.sig
    QByteArray list;        // md5.txt
    QByteArray hashList;    // sha256.txt
    QMap<QString, QByteArray> files;
};

struct TestKeyPair
{
    QByteArray privateKey; // PEM
    QByteArray publicKey;  // base64
};

TestKeyPair newTestKeyPair();

// The signature file's content for `data`: base64 and a line break.
QByteArray signatureFileFor(const QByteArray &data, const QByteArray &privateKeyPem);

// The description's text from the other parts, then signed; change any part afterwards to
// serve something the signature no longer covers.
SignedPublication signRelease(const SignedRelease &release, const QByteArray &privateKeyPem);

// Routes below `prefix` (ending in "/") as a static server answers them, the doubled slashes
// of the list requests included. A part set to a null array gets no route: it is answered with
// 404.
void servePublication(CTestServer &server, const QString &prefix,
                      const SignedPublication &publication);
