#pragma once

#include <QString>

// Names of the files the updater reads and writes; every user sees these same constants.
inline const QString ConfigFileName = QStringLiteral("system.cfg");
inline const QString DescriptionFileName = QStringLiteral("update.ini");
inline const QString SavedListFileName = QStringLiteral("update_md5.info");
