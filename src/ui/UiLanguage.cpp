#include "UiLanguage.h"

#include "UiResources.h"

#include <QCoreApplication>
#include <QLocale>
#include <QTranslator>

namespace {

const QString Chinese = QStringLiteral("zh_CN");
const QString English = QStringLiteral("en");

} // namespace

QString chooseUiLanguage(const QString &configured, const QStringList &uiLanguages)
{
    if (configured == Chinese || configured == English)
        return configured;
    for (const QString &name : uiLanguages) {
        // "zh-Hans-CN" and "zh_TW" are both Chinese.
        const QLocale::Language spoken = QLocale(name).language();
        if (spoken == QLocale::Chinese)
            return Chinese;
        if (spoken == QLocale::English)
            return English;
    }
    return English;
}

bool installUiLanguage(const QString &language)
{
    // Lives as long as the process: the application keeps using it.
    static QTranslator translator;
    QCoreApplication::removeTranslator(&translator);
    if (language == Chinese)
        return true;
    registerUiResources();
    if (!translator.load(QStringLiteral(":/translations/update_%1.qm").arg(language)))
        return false;
    return QCoreApplication::installTranslator(&translator);
}
