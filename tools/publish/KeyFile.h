#pragma once

#include <QByteArray>
#include <QString>

// Creates `path` holding `content`, readable and writable by its owner only from the moment it
// exists. An existing file (or link) is never replaced: a second --keygen must not destroy the
// key that installations already trust.
bool createPrivateFile(const QString &path, const QByteArray &content, QString &errorText);

// Reads a private key file; refuses anything that is not a small regular file.
bool readKeyFile(const QString &path, QByteArray &content, QString &errorText);
