#pragma once

#include <QByteArray>
#include <QString>

// Replaces the updater's own file at `path` with `data`, whole or not at all. A symbolic link in
// its place is removed, not followed: an elevated updater must not write wherever a link points.
// A file that already holds exactly `data` is left alone. False when the file cannot be
// written; errorText is the system's reason.
bool writeOwnFile(const QString &path, const QByteArray &data, QString &errorText);
