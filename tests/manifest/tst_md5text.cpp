#include "FifoProbe.h"
#include "Md5Text.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QByteArray EmptyText = "d98c1dd404b2008f980980e97e42f8ec";
const QByteArray AbcText = "98500190b04fd23c7d3f96d6727fe128";
const QByteArray AbcUsualHex = "900150983cd24fb0d6963f7d28e17f72";

} // namespace

class tst_Md5Text : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir dir;

    QString writeFile(const QString &name, const QByteArray &content)
    {
        QFile file(dir.filePath(name));
        if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size()) {
            qFatal("cannot write %s", qPrintable(file.fileName()));
        }
        return file.fileName();
    }

private slots:
    void initTestCase() { QVERIFY2(dir.isValid(), qPrintable(dir.errorString())); }

    void md5Text_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("empty") << QByteArray() << EmptyText;
        QTest::newRow("abc") << QByteArray("abc") << AbcText;
        // The second word starts with zero digits, which "%08x" keeps.
        QTest::newRow("leading zeros")
            << QByteArray("pad167") << QByteArray("452bd97f0007bd9ac64fc967c4acb034");
    }

    void md5Text()
    {
        QFETCH(QByteArray, data);
        QFETCH(QByteArray, text);
        QCOMPARE(::md5Text(data), text);
        QCOMPARE(md5TextFromDigest(QCryptographicHash::hash(data, QCryptographicHash::Md5)), text);
    }

    void digestOfWrongLengthGivesNoText()
    {
        QVERIFY(md5TextFromDigest(QByteArray(15, 'x')).isEmpty());
        QVERIFY(md5TextFromDigest(QByteArray(17, 'x')).isEmpty());
    }

    void fileMatchesMd5_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QByteArray>("expected");
        QTest::addColumn<bool>("matches");
        QTest::newRow("empty file") << QByteArray() << EmptyText << true;
        QTest::newRow("abc") << QByteArray("abc") << AbcText << true;
        QTest::newRow("usual hex order") << QByteArray("abc") << AbcUsualHex << false;
        QTest::newRow("upper case") << QByteArray("abc") << AbcText.toUpper() << false;
        QTest::newRow("trailing CR") << QByteArray("abc") << AbcText + '\r' << false;
        QTest::newRow("trailing blank") << QByteArray("abc") << AbcText + ' ' << false;
        QTest::newRow("leading blank") << QByteArray("abc") << ' ' + AbcText << false;
        QTest::newRow("prefix only") << QByteArray("abc") << AbcText.left(31) << false;
        QTest::newRow("other content") << QByteArray("abd") << AbcText << false;
        QTest::newRow("empty expected") << QByteArray() << QByteArray() << false;
        // Several read chunks, and a length that is not a multiple of one.
        const QByteArray big(3 * 1024 * 1024 + 7, 'q');
        QTest::newRow("multi-chunk") << big << ::md5Text(big) << true;
    }

    void fileMatchesMd5()
    {
        QFETCH(QByteArray, content);
        QFETCH(QByteArray, expected);
        QFETCH(bool, matches);
        const QString path = writeFile(QTest::currentDataTag(), content);
        QCOMPARE(::fileMatchesMd5(path, expected), matches);
    }

    void nonRegularFilesNeverMatch_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("missing") << dir.filePath("does-not-exist");
        QTest::newRow("directory") << dir.path();
        // Opened and read, /dev/null would hash like an empty file and match.
        QTest::newRow("device") << QStringLiteral("/dev/null");
    }

    void nonRegularFilesNeverMatch()
    {
        QFETCH(QString, path);
        QVERIFY(!::fileMatchesMd5(path, EmptyText));
    }

    void symlinkToFileIsFollowed()
    {
        const QString target = writeFile("link-target", "abc");
        const QString link = dir.filePath("link");
        QVERIFY(QFile::link(target, link));
        QVERIFY(::fileMatchesMd5(link, AbcText));
    }

    void fifoIsNotOpened()
    {
        const QString fifo = dir.filePath("fifo");
        QVERIFY2(makeFifo(fifo), "mkfifo failed");
        bool matched = true;
        QVERIFY2(
            finishesWithoutFifoWriter([&] { matched = ::fileMatchesMd5(fifo, EmptyText); }, {fifo}),
            "fileMatchesMd5 blocked opening a FIFO");
        QVERIFY(!matched);
    }
};

QTEST_GUILESS_MAIN(tst_Md5Text)
#include "tst_md5text.moc"
