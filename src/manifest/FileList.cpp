#include "FileList.h"

#include <QList>
#include <QTextCodec>

namespace {

quint64 sizeFromField(const QByteArray &field)
{
    // The list stores the size with its 32-bit halves exchanged; an invalid field reads as 0.
    const quint64 stored = field.toULongLong(nullptr, 16);
    return (stored << 32) | (stored >> 32);
}

QString pathFromField(const QByteArray &field, QTextCodec *pathCodec)
{
    QString path = pathCodec ? pathCodec->toUnicode(field) : QString::fromLocal8Bit(field);
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (path.startsWith(QLatin1Char('/'))) {
        path.remove(0, 1);
    }
    return path;
}

} // namespace

FileTable parseFileList(QByteArray text)
{
    return parseFileList(std::move(text), nullptr);
}

FileTable parseFileList(QByteArray text, QTextCodec *pathCodec)
{
    FileTable table;
    const QList<QByteArray> lines = text.split('\n');
    for (QByteArray line : lines) {
        if (line.endsWith('\r')) {
            line.chop(1);
        }
        const QList<QByteArray> pieces = line.split('\t');
        if (pieces.size() != 3) {
            continue;
        }
        FileEntry entry;
        entry.md5 = pieces.at(0);
        entry.size = sizeFromField(pieces.at(1));
        entry.path = pathFromField(pieces.at(2), pathCodec);
        table.insert(entry.path, entry);
    }
    return table;
}
