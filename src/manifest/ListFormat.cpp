#include "ListFormat.h"

#include "ShownPath.h"

namespace {

bool holdsLineBreakOrTab(const QByteArray &bytes)
{
    return bytes.contains('\t') || bytes.contains('\n') || bytes.contains('\r');
}

bool holdsLineBreakOrTab(const QString &text)
{
    return text.contains(QLatin1Char('\t')) || text.contains(QLatin1Char('\n')) ||
           text.contains(QLatin1Char('\r'));
}

QByteArray sizeField(quint64 size)
{
    // Low half first: the reader exchanges the two 32-bit halves back.
    const auto low = QByteArray::number(static_cast<quint32>(size), 16).rightJustified(8, '0');
    const auto high =
        QByteArray::number(static_cast<quint32>(size >> 32), 16).rightJustified(8, '0');
    return low + high;
}

} // namespace

namespace listformat {

QString lineProblem(const QString &key, const QString &path, const QByteArray &digest,
                    QLatin1String digestName, QTextCodec *codec, QByteArray &encodedPath)
{
    if (key != path) {
        return QStringLiteral("entry %1 is stored under the different key %2")
            .arg(shownPath(path), shownPath(key));
    }
    if (path.isEmpty()) {
        return QStringLiteral("the entry with %1 %2 has an empty path")
            .arg(digestName, shownPath(QString::fromLatin1(digest)));
    }
    if (holdsLineBreakOrTab(path)) {
        return QStringLiteral("path %1 holds a tab, line feed or carriage return")
            .arg(shownPath(path));
    }
    if (holdsLineBreakOrTab(digest)) {
        return QStringLiteral("%1 of %2 holds a tab, line feed or carriage return")
            .arg(digestName, shownPath(path));
    }
    if (path.contains(QLatin1Char('\\'))) {
        return QStringLiteral("path %1 holds a backslash, which a reader turns into a slash")
            .arg(shownPath(path));
    }
    if (path.startsWith(QLatin1Char('/'))) {
        return QStringLiteral("path %1 starts with a slash, which a reader removes")
            .arg(shownPath(path));
    }
    const QString codecName = QString::fromLatin1(codec->name());
    if (!codec->canEncode(path)) {
        return QStringLiteral("path %1 cannot be encoded in %2").arg(shownPath(path), codecName);
    }
    encodedPath = codec->fromUnicode(path);
    // canEncode alone misses codecs that substitute silently or emit separator bytes.
    if (codec->toUnicode(encodedPath) != path || holdsLineBreakOrTab(encodedPath)) {
        return QStringLiteral("path %1 does not survive encoding in %2")
            .arg(shownPath(path), codecName);
    }
    return QString();
}

void appendLine(QByteArray &text, const QByteArray &digest, quint64 size,
                const QByteArray &encodedPath)
{
    text += digest;
    text += '\t';
    text += sizeField(size);
    text += '\t';
    text += encodedPath;
    text += '\n';
}

} // namespace listformat
