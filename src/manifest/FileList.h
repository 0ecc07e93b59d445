#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>

class QTextCodec;

// One row of a file list: where the file belongs, how large it is and its MD5 text.
struct FileEntry
{
    QString path; // relative, slashes as separators, no leading slash
    quint64 size = 0;
    QByteArray md5; // exactly as the list gives it
    // The SHA-256 text a signed publication's sha256.txt gives for the file; empty when the
    // file is not checked by it. Lists never carry it: parsing leaves it empty and writing
    // ignores it.
    QByteArray sha256{};
};

inline bool operator==(const FileEntry &a, const FileEntry &b)
{
    return a.path == b.path && a.size == b.size && a.md5 == b.md5 && a.sha256 == b.sha256;
}

inline bool operator!=(const FileEntry &a, const FileEntry &b)
{
    return !(a == b);
}

// Keyed by FileEntry::path; every walk runs in QString order.
using FileTable = QMap<QString, FileEntry>;

// Reads md5.txt / update_md5.info. Never fails: lines that are not entries are skipped.
FileTable parseFileList(QByteArray text);

// The same, with paths decoded by pathCodec instead of the local 8-bit encoding
// (nullptr means local 8-bit).
FileTable parseFileList(QByteArray text, QTextCodec *pathCodec);
