#pragma once

#include <QByteArray>
#include <QString>

// The console report: compact JSON with the members errormsg, success, update, in that order.
QByteArray reportBytes(bool success, bool update, const QString &errormsg);

// Writes the report to standard output and flushes it at once; no line break follows.
void writeReport(bool success, bool update, QString errormsg);
