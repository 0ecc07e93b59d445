#pragma once

#include "FileList.h"
#include "SignedFields.h"

#include <QByteArray>
#include <QDir>
#include <QString>

struct UpdateContext;

// Fetches update.ini.sig beside update.ini and checks it against the exact bytes of the
// description. A missing signature, one by another key, and a PublicKey that is no key at all
// all fail the same way: nothing read from the description can be trusted.
bool descriptionSignatureValid(UpdateContext &context, const QByteArray &description);

// Reads the signed keys from the verified description's bytes and refuses a description that
// lacks them, that is older than what this installation has accepted, or that has expired.
// failureText is the user's message.
bool acceptSignedFields(const QByteArray &description, const QDir &installDir, SignedFields &fields,
                        QString &failureText);

// Checks the list against the description, fetches sha256.txt from the version folder, checks
// it too, and gives every remote entry its SHA-256 text. A listed file that sha256.txt does not
// name with the same size and a well-formed text is a mismatch of the lists.
bool attachFileHashes(UpdateContext &context, const QString &versionBaseUrl,
                      const SignedFields &fields, const QByteArray &listBytes, FileTable &remote,
                      QString &failureText);
