#pragma once

#include "FileList.h"

#include <QTest>

// Lets QCOMPARE print both sides when two entries or tables differ.
inline char *toString(const FileEntry &entry)
{
    return qstrdup(QStringLiteral("{%1, %2, %3}")
                       .arg(entry.path, QString::number(entry.size),
                            QString::fromLatin1(entry.md5.toPercentEncoding()))
                       .toUtf8()
                       .constData());
}

inline char *toString(const FileTable &table)
{
    QByteArray text = "[";
    for (auto it = table.cbegin(); it != table.cend(); ++it) {
        char *entry = toString(it.value());
        text += '"' + it.key().toUtf8() + "\": ";
        text += entry;
        text += std::next(it) == table.cend() ? "" : ", ";
        delete[] entry;
    }
    text += ']';
    return qstrdup(text.constData());
}
