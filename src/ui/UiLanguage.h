#pragma once

#include <QString>
#include <QStringList>

// The language of the windows: "zh_CN", the language the texts are written in, or "en".
// A configured "zh_CN" or "en" wins; otherwise Chinese when the user's languages (most wanted
// first) name Chinese before English, English in every other case.
QString chooseUiLanguage(const QString &configured, const QStringList &uiLanguages);

// Makes every window text that follows appear in the language. Chinese needs no translation;
// false only when the translation of another language cannot be loaded.
bool installUiLanguage(const QString &language);
