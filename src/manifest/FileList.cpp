#include "FileList.h"

#include <QList>
#include <QTextCodec>

#include <cstring>

namespace {

quint64 sizeFromField(const char *field, int length)
{
    // The list stores the size with its 32-bit halves exchanged; an invalid field reads as 0.
    const quint64 stored = QByteArray::fromRawData(field, length).toULongLong(nullptr, 16);
    return (stored << 32) | (stored >> 32);
}

bool isAscii(const char *bytes, int length)
{
    for (int i = 0; i < length; ++i) {
        if (static_cast<unsigned char>(bytes[i]) >= 0x80) {
            return false;
        }
    }
    return true;
}

QString pathFromField(const char *field, int length, QTextCodec *pathCodec)
{
    // Plain ASCII reads the same in every local 8-bit encoding, and most paths are ASCII.
    QString path = pathCodec                ? pathCodec->toUnicode(field, length)
                   : isAscii(field, length) ? QString::fromLatin1(field, length)
                                            : QString::fromLocal8Bit(field, length);
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (path.startsWith(QLatin1Char('/'))) {
        path.remove(0, 1);
    }
    return path;
}

const char *find(const char *from, const char *end, char wanted)
{
    const void *found = std::memchr(from, wanted, size_t(end - from));
    return found ? static_cast<const char *>(found) : end;
}

} // namespace

FileTable parseFileList(QByteArray text)
{
    return parseFileList(std::move(text), nullptr);
}

FileTable parseFileList(QByteArray text, QTextCodec *pathCodec)
{
    FileTable table;
    // Lists are usually written in path order, so the place after the last insert is the
    // likely place of the next one.
    auto hint = table.cend();
    const char *const textEnd = text.constData() + text.size();
    for (const char *line = text.constData();;) {
        const char *const newline = find(line, textEnd, '\n');
        const char *lineEnd = newline;
        if (lineEnd > line && lineEnd[-1] == '\r') {
            --lineEnd;
        }
        // An entry is exactly three pieces: two tabs, and no third one.
        const char *tab1 = find(line, lineEnd, '\t');
        const char *tab2 = tab1 < lineEnd ? find(tab1 + 1, lineEnd, '\t') : lineEnd;
        if (tab2 < lineEnd && find(tab2 + 1, lineEnd, '\t') == lineEnd) {
            FileEntry entry;
            entry.md5 = QByteArray(line, int(tab1 - line));
            entry.size = sizeFromField(tab1 + 1, int(tab2 - tab1 - 1));
            entry.path = pathFromField(tab2 + 1, int(lineEnd - tab2 - 1), pathCodec);
            hint = FileTable::const_iterator(std::next(table.insert(hint, entry.path, entry)));
        }
        if (newline == textEnd) {
            break;
        }
        line = newline + 1;
    }
    return table;
}
