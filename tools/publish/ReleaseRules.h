#pragma once

#include "ReleaseScan.h"

#include <QStringList>

class QTextCodec;

// Everything that would keep the updater from fetching or installing the release exactly as
// listed: each path's own problems, paths in pathCodec that it cannot hold, paths that a
// Windows installation could not tell apart, and a top-level entry in the list's place. One
// message per problem, naming the path; empty when the release can be published.
QStringList releaseProblems(const QList<ReleaseFile> &files, QTextCodec *pathCodec);
