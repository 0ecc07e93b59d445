// libFuzzer target: parseFileList on arbitrary bytes must not crash, must keep its table
// invariants, and whatever writeFileList accepts from the result must parse back unchanged.

#include "FileListWriter.h"
#include "SafePath.h"

#include <QTextCodec>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void require(bool condition, const char *what)
{
    if (!condition) {
        std::fprintf(stderr, "property violated: %s\n", what);
        std::abort();
    }
}

void checkCodec(const QByteArray &bytes, QTextCodec *codec)
{
    const FileTable table = parseFileList(bytes, codec);
    for (auto it = table.cbegin(); it != table.cend(); ++it) {
        require(it.key() == it->path, "key equals the entry's path");
        require(!it->path.contains(QLatin1Char('\\')), "no backslash survives parsing");
        isSafeListPath(it->path);
    }
    QByteArray written;
    QString error;
    if (writeFileList(table, written, error, codec)) {
        require(parseFileList(written, codec) == table, "written list parses back to the table");
    } else {
        require(!error.isEmpty(), "a refusal says why");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static QTextCodec *const gb18030 = QTextCodec::codecForName("GB18030");
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<int>(size));
    checkCodec(bytes, nullptr);
    checkCodec(bytes, gb18030);
    return 0;
}
