#pragma once

#include <QString>

// The absolute path with symbolic links and "." / ".." resolved. Components that do not exist
// yet are appended to the resolved part that does, so a folder about to be created can be
// compared too.
QString resolvedPath(const QString &path);

// Whether `path` is `dir` or lies below it; both must be resolved. Compares whole components:
// /data/app2 is not inside /data/app.
bool isSameOrInside(const QString &path, const QString &dir);
