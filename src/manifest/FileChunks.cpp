#include "FileChunks.h"

#include <QFile>
#include <QFileInfo>

#include <memory>

namespace {

// Large reads keep the per-call overhead negligible next to hashing, while memory use stays
// the same for a file of a few bytes and one of several GiB.
constexpr qint64 ChunkSize = 512 * 1024;

} // namespace

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
    const std::unique_ptr<char[]> buffer(new char[ChunkSize]);
    for (;;) {
        const qint64 got = file.read(buffer.get(), ChunkSize);
        if (got < 0) {
            return false;
        }
        if (got == 0) {
            return true;
        }
        consume(buffer.get(), int(got));
    }
}
