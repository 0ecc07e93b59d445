#pragma once

#include "FileList.h"

#include <QByteArray>
#include <QDateTime>
#include <QDir>
#include <QString>

class QSettings;
struct UpdateContext;

// The keys a signed publication adds to update.ini's [Version] section.
struct SignedFields
{
    quint64 serial = 0;
    QByteArray listSha256;     // of md5.txt, exactly as served
    QByteArray hashListSha256; // of sha256.txt, exactly as served
    QDateTime expires;         // invalid: the description does not expire
};

// Fetches update.ini.sig beside update.ini and checks it against the exact bytes of the
// description. A missing signature, one by another key, and a PublicKey that is no key at all
// all fail the same way: nothing read from the description can be trusted.
bool descriptionSignatureValid(UpdateContext &context, const QByteArray &description);

// Reads the signed keys of a verified description and refuses one that lacks them, that is
// older than what this installation has accepted, or that has expired. failureText is the
// user's message.
bool acceptSignedFields(const QSettings &description, const QDir &installDir, SignedFields &fields,
                        QString &failureText);

// Checks the list against the description, fetches sha256.txt from the version folder, checks
// it too, and gives every remote entry its SHA-256 text. A listed file that sha256.txt does not
// name with the same size and a well-formed text is a mismatch of the lists.
bool attachFileHashes(UpdateContext &context, const QString &versionBaseUrl,
                      const SignedFields &fields, const QByteArray &listBytes, FileTable &remote,
                      QString &failureText);
