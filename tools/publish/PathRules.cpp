#include "PathRules.h"

#include "FileNames.h"
#include "SafePath.h"

#include <QStringList>

namespace {

const QString WindowsForbidden = QStringLiteral("<>:\"|?*");

// Windows opens the device instead of the file for these, whatever the extension or case.
bool isReservedDeviceName(const QString &component)
{
    const QString base = component.section(QLatin1Char('.'), 0, 0).toUpper();
    static const QStringList plain = {QStringLiteral("CON"), QStringLiteral("PRN"),
                                      QStringLiteral("AUX"), QStringLiteral("NUL")};
    if (plain.contains(base)) {
        return true;
    }
    const bool numbered =
        base.startsWith(QLatin1String("COM")) || base.startsWith(QLatin1String("LPT"));
    return numbered && base.size() == 4 && base.at(3) >= QLatin1Char('1') &&
           base.at(3) <= QLatin1Char('9');
}

QString componentProblem(const QString &component)
{
    const QString shown = QLatin1Char('"') + component + QLatin1Char('"');
    if (component.isEmpty()) {
        return QStringLiteral("has an empty name between two slashes");
    }
    for (const QChar c : component) {
        if (c.unicode() < 0x20) {
            return QStringLiteral(
                "holds a control character, which Windows cannot store in a name");
        }
        if (WindowsForbidden.contains(c)) {
            return QStringLiteral("holds \"%1\", which Windows cannot store in a name").arg(c);
        }
    }
    if (component.endsWith(QLatin1Char('.')) || component.endsWith(QLatin1Char(' '))) {
        return QStringLiteral("has the name %1 ending in a dot or a space, which Windows drops")
            .arg(shown);
    }
    if (isReservedDeviceName(component)) {
        return QStringLiteral("has the name %1, which Windows reserves for a device").arg(shown);
    }
    return QString();
}

} // namespace

QString listPathProblem(const QString &path)
{
    if (path.contains(QLatin1Char('\t')) || path.contains(QLatin1Char('\n')) ||
        path.contains(QLatin1Char('\r'))) {
        return QStringLiteral("holds a tab or a line break, which would break the file list");
    }
    if (path.contains(QLatin1Char('\\'))) {
        return QStringLiteral("holds a backslash, which the updater reads as a folder separator");
    }
    for (const QChar c : {QLatin1Char('#'), QLatin1Char('?'), QLatin1Char('%')}) {
        if (path.contains(c)) {
            return QStringLiteral("holds \"%1\", which changes the address the updater requests")
                .arg(c);
        }
    }
    switch (judgeListPath(path)) {
    case ListPathVerdict::Usable:
        break;
    case ListPathVerdict::Unsafe:
        return QStringLiteral("is refused by the updater's path check (empty, absolute, holding "
                              "a colon or a \"..\" component)");
    case ListPathVerdict::Reserved:
        return QStringLiteral("is a name the updater keeps for itself while it installs (%1 in "
                              "the installation root, names ending in %2 or %3)")
            .arg(JournalFileName, StagedSuffix, BackupSuffix);
    }
    const QStringList components = path.split(QLatin1Char('/'));
    for (const QString &component : components) {
        QString problem = componentProblem(component);
        if (!problem.isEmpty()) {
            return problem;
        }
    }
    return QString();
}

QString folderNameProblem(const QString &name)
{
    if (name.isEmpty()) {
        return QStringLiteral("is empty");
    }
    if (name.contains(QLatin1Char('/'))) {
        return QStringLiteral("has more than one component; it must be a single folder name");
    }
    if (name.compare(DescriptionFileName, Qt::CaseInsensitive) == 0) {
        return QStringLiteral("would take the place of %1").arg(DescriptionFileName);
    }
    return listPathProblem(name);
}
