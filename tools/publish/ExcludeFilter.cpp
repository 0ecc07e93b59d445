#include "ExcludeFilter.h"

bool ExcludeFilter::setPatterns(const QStringList &patterns, QString &errorText)
{
    m_patterns.clear();
    for (const QString &pattern : patterns) {
        const QRegularExpression expression(
            QRegularExpression::wildcardToRegularExpression(pattern),
            QRegularExpression::CaseInsensitiveOption);
        if (pattern.isEmpty() || !expression.isValid()) {
            errorText =
                QStringLiteral("--exclude \"%1\" is not a valid wildcard pattern").arg(pattern);
            return false;
        }
        m_patterns << expression;
    }
    return true;
}

bool ExcludeFilter::excludes(const QString &relativePath, const QString &name) const
{
    for (const QRegularExpression &pattern : m_patterns) {
        if (pattern.match(relativePath).hasMatch() || pattern.match(name).hasMatch()) {
            return true;
        }
    }
    return false;
}
