#include "CDownloadThread.h"
#include "EngineSandbox.h"
#include "Md5Text.h"
#include "Sha256Text.h"
#include "StreamSha256.h"

#include <QSignalSpy>
#include <QTest>

namespace {

// An entry of a signed publication: both texts of the genuine content.
FileEntry signedEntry(const QString &path, const QByteArray &content)
{
    FileEntry entry = entryFor(path, content);
    entry.sha256 = sha256Text(content);
    return entry;
}

// What an MD5 collision looks like to the worker: `served` passes the MD5 text listed for it,
// but the SHA-256 text is that of the genuine content.
FileEntry collidingEntry(const QString &path, const QByteArray &served, const QByteArray &genuine)
{
    FileEntry entry = entryFor(path, served);
    entry.sha256 = sha256Text(genuine);
    return entry;
}

} // namespace

// The download worker with the SHA-256 texts of a signed publication.
class tst_SignedDownload : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        box = std::make_unique<EngineSandbox>();
        QVERIFY2(box->isReady(), "scratch directories or the test server are not available");
    }
    void cleanup() { box.reset(); }

    void bothTextsMatchInstalls_data()
    {
        QTest::addColumn<int>("size");
        QTest::newRow("hashed inline") << 5000;
        QTest::newRow("hashed on its own thread") << int(StreamSha256::InlineBytes) * 6 + 11;
    }

    void bothTextsMatchInstalls()
    {
        QFETCH(int, size);
        const QByteArray content = patterned(size, 3);
        box->serve("big.bin", TestResponse::ok(content).trickled(256 * 1024, 2));
        box->serve("small.txt", "small");
        auto worker =
            box->worker({signedEntry("big.bin", content), signedEntry("small.txt", "small")});

        QVERIFY2(runToEnd(*worker), "the thread did not finish");

        QVERIFY2(worker->isSuccess(), qPrintable(worker->errorMessage()));
        QVERIFY2(readTree(box->install) == (FileTree{{"big.bin", content}, {"small.txt", "small"}}),
                 "the installed files differ from the downloads");
    }

    void sha256MismatchFails_data()
    {
        QTest::addColumn<int>("size");
        QTest::newRow("small file") << 300;
        QTest::newRow("large file") << int(StreamSha256::InlineBytes) * 3;
    }

    void sha256MismatchFails()
    {
        QFETCH(int, size);
        const QByteArray genuine = patterned(size, 1);
        const QByteArray forged = patterned(size, 2);
        box->serve("a.txt", "first");
        box->serve("forged.bin", forged);
        auto worker = box->worker(
            {signedEntry("a.txt", "first"), collidingEntry("forged.bin", forged, genuine)});
        QSignalSpy failed(worker.get(), &CDownloadThread::downloadFail);

        QVERIFY(runToEnd(*worker));

        QVERIFY(!worker->isSuccess());
        QCOMPARE(worker->errorMessage(), QString::fromUtf8("更新文件forged.bin校验不对"));
        QCOMPARE(failed.size(), 1);
        QCOMPARE(failed.first().at(0).value<QFileInfo>().absoluteFilePath(),
                 box->cache.absoluteFilePath("forged.bin"));
        QCOMPARE(readTree(box->cache), (FileTree{{"a.txt", "first"}}));
        QCOMPARE(readTree(box->install), FileTree());
    }

    void cachedCopyNeedsBothTexts()
    {
        const QByteArray genuine = "genuine content";
        const QByteArray planted = "planted content";
        QVERIFY(writeFile(box->cache.filePath("a.bin"), planted));
        QVERIFY(writeFile(box->cache.filePath("b.bin"), "bravo"));
        box->serve("a.bin", planted);
        auto worker =
            box->worker({collidingEntry("a.bin", planted, genuine), signedEntry("b.bin", "bravo")});

        QVERIFY(runToEnd(*worker));

        // The planted copy passes its MD5 text but not its SHA-256 text, so it is fetched again
        // and refused; the valid cached copy of b.bin is used as it is.
        QCOMPARE(box->server.requestedPaths(), QStringList{"/v/a.bin"});
        QCOMPARE(worker->errorMessage(), QString::fromUtf8("更新文件a.bin校验不对"));
        QCOMPARE(readTree(box->install), FileTree());
    }

    void validCachedCopyIsNotFetched()
    {
        QVERIFY(writeFile(box->cache.filePath("a.bin"), "alpha"));
        auto worker = box->worker({signedEntry("a.bin", "alpha")});

        QVERIFY(runToEnd(*worker));

        QVERIFY2(worker->isSuccess(), qPrintable(worker->errorMessage()));
        QCOMPARE(box->server.requestedPaths(), QStringList());
        QCOMPARE(readTree(box->install), (FileTree{{"a.bin", "alpha"}}));
    }

private:
    std::unique_ptr<EngineSandbox> box;
};

QTEST_GUILESS_MAIN(tst_SignedDownload)
#include "tst_signeddownload.moc"
