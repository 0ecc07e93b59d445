#pragma once

#include <QByteArray>
#include <QString>

// The content of update.ini, with the defaults the updater assumes for missing keys.
struct Description
{
    int updateType = 1;
    QString folder = QStringLiteral("Base");
    QString version;
};

// update.ini as the updater's INI reader (no text codec) reads it back exactly: the settings
// library itself writes the escapes that non-ASCII text needs in that mode.
bool descriptionText(const Description &description, QByteArray &text, QString &errorText);

// Replaces `path` atomically: a reader sees the old file or the new one, never a mix.
bool writeDescriptionFile(const QString &path, const QByteArray &text, QString &errorText);

bool readDescription(const QString &path, Description &description, QString &errorText);
