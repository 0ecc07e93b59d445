#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>

class QTextCodec;

// One row of a signed publication's sha256.txt: md5.txt's line format, with the file's SHA-256
// text where md5.txt has the MD5 text.
struct HashEntry
{
    QString path; // relative, slashes as separators, no leading slash
    quint64 size = 0;
    QByteArray sha256; // exactly as the list gives it
};

inline bool operator==(const HashEntry &a, const HashEntry &b)
{
    return a.path == b.path && a.size == b.size && a.sha256 == b.sha256;
}

// Keyed by HashEntry::path.
using HashTable = QMap<QString, HashEntry>;

// Reads sha256.txt exactly as parseFileList reads md5.txt: never fails, lines that are not
// entries are skipped. pathCodec nullptr: the local 8-bit encoding.
HashTable parseHashList(const QByteArray &text, QTextCodec *pathCodec = nullptr);

// Writes sha256.txt with writeFileList's checks: false, with errorText saying which entry and
// why, for a table that would not parse back to itself; `out` is then left unchanged.
bool writeHashList(const HashTable &table, QByteArray &out, QString &errorText,
                   QTextCodec *pathCodec = nullptr);
