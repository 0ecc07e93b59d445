#include "ReleaseScan.h"

#include "ExcludeFilter.h"
#include "PathNesting.h"
#include "ShownPath.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace {

class ReleaseWalker
{
public:
    ReleaseWalker(const QString &root, const ExcludeFilter &filter, QStringList &problems)
        : m_root(root), m_filter(filter), m_problems(problems)
    {}

    void walk(const QString &dirPath, const QString &prefix, QStringList &ancestors)
    {
        const QFileInfoList entries = QDir(dirPath).entryInfoList(
            QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
        for (const QFileInfo &entry : entries) {
            const QString relative = prefix + entry.fileName();
            if (!m_filter.excludes(relative, entry.fileName())) {
                visit(entry, relative, ancestors);
            }
        }
    }

    QList<ReleaseFile> files;

private:
    void visit(const QFileInfo &entry, const QString &relative, QStringList &ancestors)
    {
        const QString shown = shownPath(relative);
        const QString target = entry.canonicalFilePath();
        if (entry.isSymLink()) {
            if (target.isEmpty()) {
                m_problems << QStringLiteral("%1 is a dangling symbolic link").arg(shown);
                return;
            }
            if (!isSameOrInside(target, m_root)) {
                m_problems << QStringLiteral("%1 is a symbolic link that leaves SOURCE_DIR (to %2)")
                                  .arg(shown, shownPath(target));
                return;
            }
        }
        if (entry.isDir()) {
            if (ancestors.contains(target)) {
                m_problems << QStringLiteral("%1 is a symbolic link back into a folder that "
                                             "contains it")
                                  .arg(shown);
                return;
            }
            if (!entry.isReadable() || !entry.isExecutable()) {
                m_problems << QStringLiteral("%1 is a folder that cannot be read").arg(shown);
                return;
            }
            ancestors << target;
            walk(entry.filePath(), relative + QLatin1Char('/'), ancestors);
            ancestors.removeLast();
            return;
        }
        if (!entry.isFile()) {
            m_problems << QStringLiteral("%1 is neither a regular file nor a folder").arg(shown);
            return;
        }
        if (!entry.isReadable()) {
            m_problems << QStringLiteral("%1 cannot be read").arg(shown);
            return;
        }
        files << ReleaseFile{relative, entry.filePath(), quint64(entry.size())};
    }

    const QString m_root;
    const ExcludeFilter &m_filter;
    QStringList &m_problems;
};

} // namespace

bool checkSourceDir(const QString &sourceDir, QString &errorText)
{
    const QFileInfo info(sourceDir);
    if (!info.exists()) {
        errorText = QStringLiteral("SOURCE_DIR %1 does not exist").arg(shownPath(sourceDir));
        return false;
    }
    if (!info.isDir()) {
        errorText = QStringLiteral("SOURCE_DIR %1 is not a folder").arg(shownPath(sourceDir));
        return false;
    }
    if (!info.isReadable() || !info.isExecutable()) {
        errorText = QStringLiteral("SOURCE_DIR %1 cannot be read").arg(shownPath(sourceDir));
        return false;
    }
    return true;
}

QList<ReleaseFile> scanRelease(const QString &sourceDir, const ExcludeFilter &filter,
                               QStringList &problems)
{
    const QString root = QFileInfo(sourceDir).canonicalFilePath();
    ReleaseWalker walker(root, filter, problems);
    QStringList ancestors = {root};
    walker.walk(root, QString(), ancestors);
    std::sort(walker.files.begin(), walker.files.end(),
              [](const ReleaseFile &a, const ReleaseFile &b) { return a.path < b.path; });
    return walker.files;
}
