#include "ShownPath.h"

QString shownPath(const QString &path)
{
    QString shown = QStringLiteral("\"");
    for (const QChar c : path) {
        switch (c.unicode()) {
        case '\t':
            shown += QLatin1String("\\t");
            break;
        case '\n':
            shown += QLatin1String("\\n");
            break;
        case '\r':
            shown += QLatin1String("\\r");
            break;
        case '"':
            shown += QLatin1String("\\\"");
            break;
        case '\\':
            shown += QLatin1String("\\\\");
            break;
        default:
            if (c.unicode() < 0x20 || c.unicode() == 0x7f) {
                shown += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
            } else {
                shown += c;
            }
        }
    }
    return shown + QLatin1Char('"');
}
