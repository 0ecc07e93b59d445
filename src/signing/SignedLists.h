#pragma once

#include "FileList.h"
#include "SignedFields.h"

#include <QByteArray>

// Whether md5.txt's bytes are exactly the ones the signed description names.
bool listMatchesSigned(const QByteArray &listBytes, const SignedFields &fields);

// Checks sha256.txt's bytes against the signed description and gives every entry of `remote`
// its SHA-256 text. Bytes that are not the signed ones fail, and so does a listed file that
// sha256.txt does not name with the same size and a well-formed SHA-256 text: the two lists
// then disagree. On failure `remote` is left as it was.
bool applyHashList(const QByteArray &hashListBytes, const SignedFields &fields, FileTable &remote);
