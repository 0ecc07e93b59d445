#pragma once

#include "ConsoleReport.h"

#include <QString>

class CUpdateError;

// Starts the host application detached with the updater's own path and "no_check".
// Does nothing for an empty path; returns whether the start worked.
bool launchHost(QString exePath);

// Fills the error dialog and runs it; true when the user chose "再试一次".
bool showError(CUpdateError &dialog, QString title, QString text, bool showButtons);
