#pragma once

#include <QByteArray>
#include <QString>

class CUpdateError;

// The console report: compact JSON with the members errormsg, success, update, in that order.
QByteArray reportBytes(bool success, bool update, const QString &errormsg);

// Writes the report to standard output and flushes it at once; no line break follows.
void writeReport(bool success, bool update, QString errormsg);

// Starts the host application detached with the updater's own path and "no_check".
// Does nothing for an empty path; returns whether the start worked.
bool launchHost(QString exePath);

// Fills the error dialog and runs it; true when the user chose "再试一次".
bool showError(CUpdateError &dialog, QString title, QString text, bool showButtons);
