#pragma once

#include <QByteArray>
#include <QString>

// The content of update.ini, with the defaults the updater assumes for missing keys.
struct Description
{
    int updateType = 1;
    QString folder = QStringLiteral("Base");
    QString version;
    // [Download] Connections as written: transfers a client keeps in flight. Empty: no key, so
    // the client fetches one file at a time.
    QString connections;

    // The keys of a signed publication, written only when isSigned. A description read back
    // without them has isSigned false and serial 0.
    bool isSigned = false;
    quint64 serial = 0;
    QByteArray listSha256;     // of md5.txt
    QByteArray hashListSha256; // of sha256.txt
    QString expires;           // ISO 8601 UTC with "Z"; empty: never expires
};

// update.ini as the updater's INI reader (no text codec) reads it back exactly: the settings
// library itself writes the escapes that non-ASCII text needs in that mode.
bool descriptionText(const Description &description, QByteArray &text, QString &errorText);

// Replaces `path` atomically: a reader sees the old file or the new one, never a mix.
bool writeDescriptionFile(const QString &path, const QByteArray &text, QString &errorText);

bool readDescription(const QString &path, Description &description, QString &errorText);
