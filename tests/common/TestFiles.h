#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QString>

// Relative path -> content, for laying out and comparing small trees in tests.
using Files = QMap<QString, QByteArray>;

// Writes one file, creating its folders as needed.
inline bool writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

// Writes every file below dir, creating folders as needed.
inline bool writeFiles(const QDir &dir, const Files &files)
{
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        if (!writeFile(dir.filePath(it.key()), it.value()))
            return false;
    }
    return true;
}

// The whole content of a file; empty when it cannot be read.
inline QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
