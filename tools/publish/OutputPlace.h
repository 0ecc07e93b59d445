#pragma once

#include <QString>
#include <QStringList>

// Refuses an OUTPUT_DIR that cannot hold a publication of SOURCE_DIR: one inside the other
// (either way round), or an OUTPUT_DIR or update.ini in it that is not of the right kind.
bool checkOutputPlace(const QString &sourceDir, const QString &outputDir, QString &errorText);

// Creates OUTPUT_DIR with its missing parents; `created` lists what was made, outermost first,
// for removeCreatedDirectories to undo after a failed run.
bool createOutputDirectory(const QString &outputDir, QStringList &created, QString &errorText);
void removeCreatedDirectories(const QStringList &created);
