#pragma once

#include <QString>

// Names of the files the updater reads and writes; every user sees these same constants.
inline const QString ConfigFileName = QStringLiteral("system.cfg");
inline const QString DescriptionFileName = QStringLiteral("update.ini");
inline const QString ListFileName = QStringLiteral("md5.txt");
inline const QString SavedListFileName = QStringLiteral("update_md5.info");

// A signed publication's additions; clients without a public key never fetch or write them.
inline const QString SignatureFileName = QStringLiteral("update.ini.sig");
inline const QString HashListFileName = QStringLiteral("sha256.txt");
inline const QString SerialFileName = QStringLiteral("update_serial.info");

// The installation step's own names, never names a list may use: the journal beside the saved
// list, and the suffixes of a new file placed beside its target and of an earlier ".old" copy
// kept until the step has finished.
inline const QString JournalFileName = QStringLiteral("update_journal.info");
inline const QString StagedSuffix = QStringLiteral(".update-new");
inline const QString BackupSuffix = QStringLiteral(".update-prev");
