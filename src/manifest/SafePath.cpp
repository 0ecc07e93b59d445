#include "SafePath.h"

#include "FileNames.h"

namespace {

bool endsWithReservedSuffix(const QStringRef &component)
{
    return component.endsWith(StagedSuffix, Qt::CaseInsensitive) ||
           component.endsWith(BackupSuffix, Qt::CaseInsensitive);
}

} // namespace

ListPathVerdict judgeListPath(const QString &path)
{
    if (path.isEmpty() || path.startsWith(QLatin1Char('/'))) {
        return ListPathVerdict::Unsafe;
    }
    // One pass over the characters: every list path of every check goes through here.
    int namedComponents = 0; // none: the path, once cleaned, names the directory itself
    QStringRef lastNamed;
    bool reserved = false;
    int componentStart = 0;
    for (int i = 0; i <= path.size(); ++i) {
        const QChar c = i < path.size() ? path.at(i) : QLatin1Char('/');
        // A colon is a drive letter or an alternate data stream on Windows. Parsed lists never
        // hold a backslash (a second separator on Windows) or a NUL (it would cut the name short
        // at the system interface).
        if (c == QLatin1Char(':') || c == QLatin1Char('\\') || c.isNull()) {
            return ListPathVerdict::Unsafe;
        }
        if (c != QLatin1Char('/')) {
            continue;
        }
        const QStringRef component = path.midRef(componentStart, i - componentStart);
        if (component == QLatin1String("..")) {
            return ListPathVerdict::Unsafe;
        }
        if (!component.isEmpty() && component != QLatin1String(".")) {
            ++namedComponents;
            lastNamed = component;
            reserved = reserved || endsWithReservedSuffix(component);
        }
        componentStart = i + 1;
    }
    if (namedComponents == 0) {
        return ListPathVerdict::Unsafe;
    }
    // The journal lies in the installation root only, so only a one-component path meets it.
    const bool journal =
        namedComponents == 1 && lastNamed.compare(JournalFileName, Qt::CaseInsensitive) == 0;
    return reserved || journal ? ListPathVerdict::Reserved : ListPathVerdict::Usable;
}
