#include "UniqueDirectory.h"

#include "ShownPath.h"

#include <QFileInfo>
#include <QRandomGenerator>

namespace {

constexpr int Attempts = 100;

QString randomSuffix()
{
    static const char Letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    QString suffix;
    for (int i = 0; i < 8; ++i) {
        suffix +=
            QLatin1Char(Letters[QRandomGenerator::global()->bounded(int(sizeof Letters) - 1)]);
    }
    return suffix;
}

} // namespace

bool createUniqueDirectory(const QDir &parent, const QString &prefix, QString &path,
                           QString &errorText)
{
    for (int attempt = 0; attempt < Attempts; ++attempt) {
        const QString candidate = parent.absoluteFilePath(prefix + randomSuffix());
        // mkdir fails when the name is taken, so two runs can never share a folder.
        if (QDir().mkdir(candidate)) {
            path = candidate;
            return true;
        }
        if (!QFileInfo(candidate).isSymLink() && !QFileInfo::exists(candidate)) {
            errorText =
                QStringLiteral("cannot create a folder in %1").arg(shownPath(parent.path()));
            return false;
        }
    }
    errorText =
        QStringLiteral("cannot find a free folder name in %1").arg(shownPath(parent.path()));
    return false;
}

DirectoryRemover::~DirectoryRemover()
{
    removeNow();
}

bool DirectoryRemover::removeNow()
{
    if (m_path.isEmpty()) {
        return true;
    }
    const bool removed = QDir(m_path).removeRecursively();
    m_path.clear();
    return removed;
}
