#pragma once

#include <QByteArray>
#include <QString>

class CUpdateError;
struct UpdateContext;

// Carries the update from the check to its end, attempt after attempt, reporting failures in
// `errorDialog`; returns the process exit code: 0 after an installed update, 1 otherwise.
int runUpdate(UpdateContext &context, CUpdateError &errorDialog);

// Replaces `path` atomically with all of `bytes`; false, with the old file left as it was,
// when that is not possible.
bool writeWholeFile(QString path, QByteArray bytes);
