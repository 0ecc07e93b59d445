#include "FileListWriter.h"

#include "ShownPath.h"

#include <QTextCodec>

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

// Returns an empty text when the entry can be written, otherwise why not.
QString problemWith(const QString &key, const FileEntry &entry, QTextCodec *codec,
                    QByteArray &encodedPath)
{
    if (key != entry.path) {
        return QStringLiteral("entry %1 is stored under the different key %2")
            .arg(shownPath(entry.path), shownPath(key));
    }
    if (entry.path.isEmpty()) {
        return QStringLiteral("the entry with MD5 text %1 has an empty path")
            .arg(shownPath(QString::fromLatin1(entry.md5)));
    }
    if (holdsLineBreakOrTab(entry.path)) {
        return QStringLiteral("path %1 holds a tab, line feed or carriage return")
            .arg(shownPath(entry.path));
    }
    if (holdsLineBreakOrTab(entry.md5)) {
        return QStringLiteral("MD5 text of %1 holds a tab, line feed or carriage return")
            .arg(shownPath(entry.path));
    }
    if (entry.path.contains(QLatin1Char('\\'))) {
        return QStringLiteral("path %1 holds a backslash, which a reader turns into a slash")
            .arg(shownPath(entry.path));
    }
    if (entry.path.startsWith(QLatin1Char('/'))) {
        return QStringLiteral("path %1 starts with a slash, which a reader removes")
            .arg(shownPath(entry.path));
    }
    const QString codecName = QString::fromLatin1(codec->name());
    if (!codec->canEncode(entry.path)) {
        return QStringLiteral("path %1 cannot be encoded in %2")
            .arg(shownPath(entry.path), codecName);
    }
    encodedPath = codec->fromUnicode(entry.path);
    // canEncode alone misses codecs that substitute silently or emit separator bytes.
    if (codec->toUnicode(encodedPath) != entry.path || holdsLineBreakOrTab(encodedPath)) {
        return QStringLiteral("path %1 does not survive encoding in %2")
            .arg(shownPath(entry.path), codecName);
    }
    return QString();
}

} // namespace

bool writeFileList(const FileTable &table, QByteArray &out, QString &errorText,
                   QTextCodec *pathCodec)
{
    QTextCodec *codec = pathCodec ? pathCodec : QTextCodec::codecForLocale();
    QByteArray text;
    for (auto it = table.cbegin(); it != table.cend(); ++it) {
        QByteArray encodedPath;
        const QString problem = problemWith(it.key(), it.value(), codec, encodedPath);
        if (!problem.isEmpty()) {
            errorText = QStringLiteral("Cannot write the file list: ") + problem + QLatin1Char('.');
            return false;
        }
        text += it->md5;
        text += '\t';
        text += sizeField(it->size);
        text += '\t';
        text += encodedPath;
        text += '\n';
    }
    out = text;
    return true;
}
