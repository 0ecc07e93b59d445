#pragma once

#include <QList>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

// The --exclude wildcards. A pattern matches, ignoring letter case, either the whole path
// relative to SOURCE_DIR ('/' separated; '*' and '?' stop at a '/') or the name alone.
class ExcludeFilter
{
public:
    bool setPatterns(const QStringList &patterns, QString &errorText);
    bool excludes(const QString &relativePath, const QString &name) const;

private:
    QList<QRegularExpression> m_patterns;
};
