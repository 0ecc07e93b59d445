#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QTextCodec>

#include <cstring>
#include <iterator>

// The line format that md5.txt and a signed publication's sha256.txt share: a digest text, the
// size and the path, separated by tabs. Both lists are read and written only through here, so
// the two can never drift apart. An entry type has `path` and `size` and names its digest field.

namespace listformat {

inline quint64 sizeFromField(const char *field, int length)
{
    // The list stores the size with its 32-bit halves exchanged; an invalid field reads as 0.
    const quint64 stored = QByteArray::fromRawData(field, length).toULongLong(nullptr, 16);
    return (stored << 32) | (stored >> 32);
}

inline bool isAscii(const char *bytes, int length)
{
    for (int i = 0; i < length; ++i) {
        if (static_cast<unsigned char>(bytes[i]) >= 0x80) {
            return false;
        }
    }
    return true;
}

inline QString pathFromField(const char *field, int length, QTextCodec *pathCodec)
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

inline const char *find(const char *from, const char *end, char wanted)
{
    const void *found = std::memchr(from, wanted, size_t(end - from));
    return found ? static_cast<const char *>(found) : end;
}

// Empty when the entry can be written as a line that reads back to it, otherwise why not.
// `encodedPath` receives the path's bytes.
QString lineProblem(const QString &key, const QString &path, const QByteArray &digest,
                    QLatin1String digestName, QTextCodec *codec, QByteArray &encodedPath);

void appendLine(QByteArray &text, const QByteArray &digest, quint64 size,
                const QByteArray &encodedPath);

} // namespace listformat

// Calls visit(digest, size, path) for each line of a list that is an entry, in one pass over
// the bytes; other lines are skipped. pathCodec nullptr: the local 8-bit encoding.
template<typename Visit>
void forEachListLine(const QByteArray &text, QTextCodec *pathCodec, Visit visit)
{
    const char *const textEnd = text.constData() + text.size();
    for (const char *line = text.constData();;) {
        const char *const newline = listformat::find(line, textEnd, '\n');
        const char *lineEnd = newline;
        if (lineEnd > line && lineEnd[-1] == '\r') {
            --lineEnd;
        }
        // An entry is exactly three pieces: two tabs, and no third one.
        const char *tab1 = listformat::find(line, lineEnd, '\t');
        const char *tab2 = tab1 < lineEnd ? listformat::find(tab1 + 1, lineEnd, '\t') : lineEnd;
        if (tab2 < lineEnd && listformat::find(tab2 + 1, lineEnd, '\t') == lineEnd) {
            visit(QByteArray(line, int(tab1 - line)),
                  listformat::sizeFromField(tab1 + 1, int(tab2 - tab1 - 1)),
                  listformat::pathFromField(tab2 + 1, int(lineEnd - tab2 - 1), pathCodec));
        }
        if (newline == textEnd) {
            break;
        }
        line = newline + 1;
    }
}

// Reads a list. Never fails: lines that are not entries are skipped, and of two entries for one
// path the later one wins. pathCodec nullptr: the local 8-bit encoding.
template<typename Entry>
QMap<QString, Entry> readListText(const QByteArray &text, QTextCodec *pathCodec,
                                  QByteArray Entry::*digest)
{
    using Table = QMap<QString, Entry>;
    Table table;
    // Lists are usually written in path order, so the place after the last insert is the
    // likely place of the next one.
    typename Table::const_iterator hint = table.cend();
    forEachListLine(text, pathCodec, [&](QByteArray digestText, quint64 size, QString path) {
        Entry entry;
        entry.*digest = std::move(digestText);
        entry.size = size;
        entry.path = std::move(path);
        hint = typename Table::const_iterator(std::next(table.insert(hint, entry.path, entry)));
    });
    return table;
}

// Writes the table, one LF-terminated line per entry in table order, paths encoded with
// pathCodec (nullptr: the local 8-bit encoding). A table that would not read back to itself is
// refused: false, errorText names the list, the entry and why, and `out` is left unchanged.
template<typename Entry>
bool writeListText(const QMap<QString, Entry> &table, QByteArray Entry::*digest,
                   QLatin1String listName, QLatin1String digestName, QByteArray &out,
                   QString &errorText, QTextCodec *pathCodec)
{
    QTextCodec *const codec = pathCodec ? pathCodec : QTextCodec::codecForLocale();
    QByteArray text;
    for (auto it = table.cbegin(); it != table.cend(); ++it) {
        QByteArray encodedPath;
        const QString problem = listformat::lineProblem(it.key(), it->path, (*it).*digest,
                                                        digestName, codec, encodedPath);
        if (!problem.isEmpty()) {
            errorText = QStringLiteral("Cannot write the %1: %2.").arg(listName, problem);
            return false;
        }
        listformat::appendLine(text, (*it).*digest, it->size, encodedPath);
    }
    out = text;
    return true;
}
