#include "UiLanguage.h"

#include "UiResources.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QTranslator>

namespace {

const QString Chinese = QStringLiteral("zh_CN");
const QString English = QStringLiteral("en");

// "zh-Hans-CN", "zh_TW" and "ZH" are all Chinese: only the first part counts.
QString primaryLanguage(const QString &name)
{
    const int end = name.indexOf(QRegularExpression(QStringLiteral("[-_]")));
    return name.left(end).toLower();
}

} // namespace

QString chooseUiLanguage(const QString &configured, const QStringList &uiLanguages)
{
    if (configured == Chinese || configured == English)
        return configured;
    for (const QString &name : uiLanguages) {
        const QString primary = primaryLanguage(name);
        if (primary == QLatin1String("zh"))
            return Chinese;
        if (primary == QLatin1String("en"))
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
