#pragma once

#include <QString>

// Why the updater could not fetch or install a file listed under `path` (relative, '/'
// separated); empty when it can. Covers the updater's own path check, characters that change
// the address it requests, and names a Windows file system cannot hold.
QString listPathProblem(const QString &path);

// Why `name` cannot be the version folder; empty when it can.
QString folderNameProblem(const QString &name);
