#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>

// Copies files while hashing what it reads, so each file is read once, in bounded chunks
// through one buffer: memory use does not grow with the file.
class FileCopier
{
public:
    using ChunkDone = std::function<void(quint64 bytes)>;

    FileCopier();

    // Copies sourcePath to the new file targetPath; `size` and `md5` (MD5 text) describe the
    // bytes copied, and so does `sha256` (SHA-256 text) unless it is nullptr. `chunkDone` is
    // told about each chunk written.
    bool copy(const QString &sourcePath, const QString &targetPath, quint64 &size, QByteArray &md5,
              QString &errorText, const ChunkDone &chunkDone, QByteArray *sha256 = nullptr);

private:
    std::unique_ptr<char[]> m_buffer;
};
