#include "FileDigests.h"
#include "Md5Text.h"
#include "Patterned.h"
#include "Sha256Text.h"
#include "StreamSha256.h"

#include <QCryptographicHash>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace {

const QByteArray EmptySha256 = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";
const QByteArray AbcSha256 = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";

} // namespace

class tst_Sha256Text : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY2(dir.isValid(), qPrintable(dir.errorString())); }

    void knownTexts_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("empty") << QByteArray() << EmptySha256;
        QTest::newRow("abc") << QByteArray("abc") << AbcSha256;
        QTest::newRow("two blocks")
            << QByteArray("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq")
            << QByteArray("248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    }

    void knownTexts()
    {
        QFETCH(QByteArray, data);
        QFETCH(QByteArray, text);
        QCOMPARE(sha256Text(data), text);
        Sha256Hash hash;
        for (const char byte : data) {
            hash.addData(&byte, 1);
        }
        QCOMPARE(hash.text(), text);
    }

    void form_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("valid");
        QTest::newRow("lower-case digest") << AbcSha256 << true;
        QTest::newRow("upper case") << AbcSha256.toUpper() << false;
        QTest::newRow("one digit short") << AbcSha256.left(63) << false;
        QTest::newRow("one digit more") << AbcSha256 + "0" << false;
        QTest::newRow("trailing CR") << AbcSha256.left(63) + "\r" << false;
        QTest::newRow("MD5 text") << md5Text("abc") << false;
        QTest::newRow("letter past f") << AbcSha256.left(63) + "g" << false;
        QTest::newRow("empty") << QByteArray() << false;
    }

    void form()
    {
        QFETCH(QByteArray, text);
        QFETCH(bool, valid);
        QCOMPARE(isSha256Text(text), valid);
    }

    void fileMatchesBoth_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QByteArray>("md5");
        QTest::addColumn<QByteArray>("sha256");
        QTest::addColumn<bool>("matches");

        const QByteArray large = patterned(3 * 512 * 1024 + 17);
        QTest::newRow("both match") << QByteArray("abc") << md5Text("abc") << AbcSha256 << true;
        QTest::newRow("empty file") << QByteArray() << md5Text(QByteArray()) << EmptySha256 << true;
        QTest::newRow("several chunks") << large << md5Text(large) << sha256Text(large) << true;
        QTest::newRow("MD5 differs") << QByteArray("abc") << md5Text("abd") << AbcSha256 << false;
        QTest::newRow("SHA-256 differs")
            << QByteArray("abc") << md5Text("abc") << EmptySha256 << false;
        QTest::newRow("SHA-256 in upper case")
            << QByteArray("abc") << md5Text("abc") << AbcSha256.toUpper() << false;
        QTest::newRow("no SHA-256 text")
            << QByteArray("abc") << md5Text("abc") << QByteArray() << false;
        QTest::newRow("last chunk differs")
            << QByteArray(large).append('x') << md5Text(large) << sha256Text(large) << false;
    }

    void fileMatchesBoth()
    {
        QFETCH(QByteArray, content);
        QFETCH(QByteArray, md5);
        QFETCH(QByteArray, sha256);
        QFETCH(bool, matches);
        const QString path = dir.filePath(QStringLiteral("file.bin"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(file.write(content), qint64(content.size()));
        file.close();
        QCOMPARE(fileMatchesMd5AndSha256(path, md5, sha256), matches);
    }

    void notARegularFile()
    {
        QVERIFY(!fileMatchesMd5AndSha256(dir.filePath(QStringLiteral("missing")),
                                         md5Text(QByteArray()), EmptySha256));
        QVERIFY(!fileMatchesMd5AndSha256(dir.path(), md5Text(QByteArray()), EmptySha256));
#ifdef Q_OS_UNIX
        // A FIFO would block the read forever.
        const QString fifo = dir.filePath(QStringLiteral("fifo"));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        QVERIFY(!fileMatchesMd5AndSha256(fifo, md5Text(QByteArray()), EmptySha256));
#endif
    }

    // Small data is hashed on the caller's thread, larger data on a thread of its own: the text
    // must be the same whichever way and wherever the switch falls.
    void streamedEqualsWhole_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("chunk");
        const int inlineBytes = int(StreamSha256::InlineBytes);
        QTest::newRow("nothing") << 0 << 1024;
        QTest::newRow("small, inline only") << 5000 << 1000;
        QTest::newRow("exactly the inline part") << inlineBytes << 64 * 1024;
        QTest::newRow("one byte past it") << inlineBytes + 1 << 64 * 1024;
        QTest::newRow("chunk straddles the switch") << 4 * inlineBytes << 100 * 1000;
        QTest::newRow("many small chunks past the queue") << inlineBytes + 200 * 1024 << 1024;
        QTest::newRow("large") << 24 * 1024 * 1024 + 3 << 64 * 1024;
    }

    void streamedEqualsWhole()
    {
        QFETCH(int, size);
        QFETCH(int, chunk);
        const QByteArray data = patterned(size);
        StreamSha256 stream;
        for (int offset = 0; offset < size; offset += chunk) {
            stream.addData(data.mid(offset, chunk));
        }
        QCOMPARE(stream.text(),
                 QByteArray(QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex()));
    }

    void streamDroppedMidwayEndsCleanly()
    {
        auto stream = std::make_unique<StreamSha256>();
        const QByteArray chunk = patterned(256 * 1024);
        for (int i = 0; i < 40; ++i) {
            stream->addData(chunk);
        }
        // A download that fails never asks for the text: the thread must still end.
        stream.reset();
    }

private:
    QTemporaryDir dir;
};

QTEST_GUILESS_MAIN(tst_Sha256Text)
#include "tst_sha256text.moc"
