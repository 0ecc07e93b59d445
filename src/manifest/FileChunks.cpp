#include "FileChunks.h"

#include <QFile>
#include <QFileInfo>

#include <memory>

bool readFileInChunks(const QString &path, const std::function<void(const char *, int)> &consume)
{
    if (!QFileInfo(path).isFile()) {
        return false;
    }
    QFile file(path);
    // Unbuffered: the chunks go straight from the kernel into our buffer, not via QFile's.
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        return false;
    }
    const std::unique_ptr<char[]> buffer(new char[FileChunkBytes]);
    for (;;) {
        const qint64 got = file.read(buffer.get(), FileChunkBytes);
        if (got < 0) {
            return false;
        }
        if (got == 0) {
            return true;
        }
        consume(buffer.get(), int(got));
    }
}
