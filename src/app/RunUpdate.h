#pragma once

#include <QByteArray>
#include <QString>

struct UpdateContext;

// Carries the update from the check to its end, attempt after attempt; returns the process
// exit code: 0 after an installed update, 1 otherwise.
int runUpdate(UpdateContext &context);

// Writes all bytes to `path`, replacing what was there; false when it cannot be opened.
bool writeWholeFile(QString path, QByteArray bytes);
