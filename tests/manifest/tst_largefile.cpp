#include "Md5Text.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

namespace {

// Past 4 GiB, so that neither a 32-bit length nor a single in-memory read can cope.
constexpr qint64 FileSize = (Q_INT64_C(4) << 30) + 3;

// md5sum prints the usual order; the MD5 text prints each 4-byte group the other way round.
QByteArray md5TextFromUsualHex(const QByteArray &hex)
{
    QByteArray text;
    for (int group = 0; group < 4; ++group) {
        for (int byte = 3; byte >= 0; --byte) {
            text += hex.mid(group * 8 + byte * 2, 2);
        }
    }
    return text;
}

bool writeAt(QFile &file, qint64 offset, const QByteArray &data)
{
    return file.seek(offset) && file.write(data) == data.size();
}

} // namespace

class tst_LargeFile : public QObject
{
    Q_OBJECT

private slots:
    void sparseFileBeyondFourGiB()
    {
        const QString md5sum = QStandardPaths::findExecutable(QStringLiteral("md5sum"));
        if (md5sum.isEmpty()) {
            QSKIP("md5sum is not installed");
        }
        QTemporaryDir dir;
        QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
        if (QStorageInfo(dir.path()).bytesAvailable() < (Q_INT64_C(64) << 20)) {
            QSKIP("less than 64 MiB free next to the temporary directory");
        }

        QFile file(dir.filePath("large.bin"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        if (!file.resize(FileSize)) {
            QSKIP("the filesystem cannot hold a file of this size");
        }
        struct stat info;
        if (::stat(QFile::encodeName(file.fileName()).constData(), &info) != 0 ||
            qint64(info.st_blocks) * 512 > (Q_INT64_C(64) << 20)) {
            QSKIP("the filesystem does not keep the file sparse");
        }
        // Data on both sides of the 4 GiB mark and in the last, partial chunk.
        QVERIFY(writeAt(file, 0, "start"));
        QVERIFY(writeAt(file, (Q_INT64_C(4) << 30) - 4, "across"));
        QVERIFY(writeAt(file, FileSize - 1, "!"));
        file.close();
        QCOMPARE(QFileInfo(file.fileName()).size(), FileSize);

        QProcess process;
        process.start(md5sum, {file.fileName()});
        QVERIFY2(process.waitForFinished(300000), qPrintable(process.errorString()));
        QCOMPARE(process.exitCode(), 0);
        const QByteArray usualHex = process.readAllStandardOutput().left(32);
        const QByteArray expected = md5TextFromUsualHex(usualHex);

        QVERIFY2(fileMatchesMd5(file.fileName(), expected), expected.constData());
        QVERIFY(!fileMatchesMd5(file.fileName(), usualHex));
    }
};

QTEST_GUILESS_MAIN(tst_LargeFile)
#include "tst_largefile.moc"
