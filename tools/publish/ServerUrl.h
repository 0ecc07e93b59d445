#pragma once

#include <QString>

// Refuses a --url the updater could not use as the URL of system.cfg: not http(s), no host,
// or a query or fragment that the folder and file paths it appends would end up in.
bool checkServerUrl(const QString &url, QString &errorText);

// The URL line for system.cfg, [Update] section. The updater appends the folder to URL
// directly, so URL must end in '/'. An empty `url` gives the form with a placeholder.
QString systemCfgUrlLine(const QString &url);
