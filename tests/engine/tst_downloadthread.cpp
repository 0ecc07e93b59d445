#include "CDownloadThread.h"
#include "DownloadSink.h"
#include "EngineSandbox.h"
#include "Md5Text.h"
#include "Sha256Text.h"

#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>

#include <memory>

namespace {

constexpr int Large = 8 * 1024 * 1024;
// Less than a reply may buffer: a cut connection then loses none of the bytes sent.
constexpr int Continued = 700 * 1024 + 321;

QString fileOf(const QSignalSpy &spy, int row)
{
    return spy.at(row).at(0).value<QFileInfo>().absoluteFilePath();
}

} // namespace

class tst_DownloadThread : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void successInstallsEveryFile();
    void validCachedFilesAreNotFetched();
    void staleCachedCopyIsReplaced();
    void directoryAtCachePlaceIsRemoved();
    void undeletableDirectoryAtCachePlaceFails();
    void linkAtCachePlaceIsNotFollowed();
    void linkOnTheWayIsRemovedNotFollowed();
    void failedTransferWritesNothing_data();
    void failedTransferWritesNothing();
    void refusedConnectionReportsStatusZero();
    void redirectToAnotherServerIsFollowed();
    void steadyTrickleOutlastsStallTimeout();
    void runEndedInConstructorStillFinishes_data();
    void runEndedInConstructorStillFinishes();
    void leftoverTemporaryFileIsRemoved();
    void unwritableCacheIsReportedAfterChecks_data();
    void unwritableCacheIsReportedAfterChecks();
    void destroyedWhileRunningLeavesNoTemporaryFile();
    void interruptedDownloadIsContinued_data();
    void interruptedDownloadIsContinued();

private:
    std::unique_ptr<EngineSandbox> box;
};

void tst_DownloadThread::init()
{
    box = std::make_unique<EngineSandbox>();
    QVERIFY2(box->isReady(), "scratch directories or the test server are not available");
}

void tst_DownloadThread::cleanup()
{
    box.reset();
}

void tst_DownloadThread::successInstallsEveryFile()
{
    const QByteArray big = patterned(Large);
    box->serve("big.bin", TestResponse::ok(big).trickled(1024 * 1024, 5));
    box->serve("sub/b.txt", "second");
    auto worker = box->worker({entryFor("big.bin", big), entryFor("sub/b.txt", "second")});
    QSignalSpy started(worker.get(), &CDownloadThread::downloadStarted);
    QSignalSpy progress(worker.get(), &CDownloadThread::downloadProgress);
    QSignalSpy failed(worker.get(), &CDownloadThread::downloadFail);
    QCOMPARE(worker->isSuccess(), false);
    QCOMPARE(worker->errorMessage(), QString(""));

    QVERIFY2(runToEnd(*worker), "the thread did not finish");

    QVERIFY2(failed.isEmpty(), qPrintable(worker->errorMessage()));
    QVERIFY(worker->isSuccess());
    QCOMPARE(worker->errorMessage(), QString("更新成功"));
    // The first file's start was announced inside the constructor, before anyone listened.
    QCOMPARE(started.size(), 1);
    QCOMPARE(fileOf(started, 0), box->cache.absoluteFilePath("sub/b.txt"));
    QCOMPARE(started.at(0).at(1).toInt(), 1);
    QCOMPARE(started.at(0).at(2).toInt(), 2);
    QCOMPARE(progress.first().at(1).value<int64_t>(), int64_t(Large));
    QCOMPARE(progress.last().at(0).value<int64_t>(), int64_t(6));
    QCOMPARE(progress.last().at(1).value<int64_t>(), int64_t(6));
    QVERIFY2(readTree(box->install) == (FileTree{{"big.bin", big}, {"sub/b.txt", "second"}}),
             "the installed files differ from the downloads");
    QCOMPARE(readTree(box->cache).keys(), QStringList());
}

void tst_DownloadThread::validCachedFilesAreNotFetched()
{
    QList<FileEntry> entries;
    for (const QString name : {"a", "b", "c", "d", "e"}) {
        entries.append(entryFor(name, name.toUtf8().repeated(3)));
        if (name == "c" || name == "e") {
            box->serve(name, name.toUtf8().repeated(3));
        } else {
            QVERIFY(writeFile(box->cache.filePath(name), name.toUtf8().repeated(3)));
        }
    }
    auto worker = box->worker(entries);
    QSignalSpy started(worker.get(), &CDownloadThread::downloadStarted);

    QVERIFY(runToEnd(*worker));

    QVERIFY2(worker->isSuccess(), qPrintable(worker->errorMessage()));
    QCOMPARE(box->server.requestedPaths(), (QStringList{"/v/c", "/v/e"}));
    QCOMPARE(started.size(), 1);
    QCOMPARE(fileOf(started, 0), box->cache.absoluteFilePath("e"));
    QCOMPARE(started.at(0).at(1).toInt(), 4);
    QCOMPARE(started.at(0).at(2).toInt(), 5);
    QCOMPARE(readTree(box->install).size(), 5);
}

void tst_DownloadThread::staleCachedCopyIsReplaced()
{
    QVERIFY(writeFile(box->cache.filePath("a.txt"), "stale copy"));
    box->serve("a.txt", "fresh");
    box->serve("b.txt", TestResponse::withStatus(404));
    auto worker = box->worker({entryFor("a.txt", "fresh"), entryFor("b.txt", "never")});

    QVERIFY(runToEnd(*worker));

    QVERIFY(!worker->isSuccess());
    QCOMPARE(box->server.requestedPaths(), (QStringList{"/v/a.txt", "/v/b.txt"}));
    QCOMPARE(readTree(box->cache), (FileTree{{"a.txt", "fresh"}}));
    QCOMPARE(readTree(box->install), FileTree());
}

void tst_DownloadThread::directoryAtCachePlaceIsRemoved()
{
    QVERIFY(writeFile(box->cache.filePath("a.txt/deeper/inside.txt"), "in the way"));
    box->serve("a.txt", "content");
    auto worker = box->worker({entryFor("a.txt", "content")});

    QVERIFY(runToEnd(*worker));

    QVERIFY2(worker->isSuccess(), qPrintable(worker->errorMessage()));
    QCOMPARE(readTree(box->install), (FileTree{{"a.txt", "content"}}));
    QVERIFY(!QFileInfo::exists(box->cache.filePath("a.txt")));
}

void tst_DownloadThread::undeletableDirectoryAtCachePlaceFails()
{
    QVERIFY2(makeTooDeepTree(box->cache.filePath("b.txt")), "could not build the deep tree");
    box->serve("a.txt", "first");
    box->serve("b.txt", "second");
    auto worker = box->worker({entryFor("a.txt", "first"), entryFor("b.txt", "second")});
    QSignalSpy failed(worker.get(), &CDownloadThread::downloadFail);

    QVERIFY(runToEnd(*worker));

    const QString place = box->cache.absoluteFilePath("b.txt");
    QCOMPARE(failed.size(), 1);
    QCOMPARE(fileOf(failed, 0), place);
    QCOMPARE(worker->errorMessage(), QString("路径%1被占用，无法删除!").arg(place));
    QCOMPARE(box->server.requestedPaths(), QStringList{"/v/a.txt"});
    QCOMPARE(readTree(box->install), FileTree());
}

void tst_DownloadThread::linkAtCachePlaceIsNotFollowed()
{
    QVERIFY(writeFile(box->rootDir.filePath("outside/keep.txt"), "not the cache's"));
    QVERIFY(QFile::link(box->rootDir.filePath("outside"), box->cache.filePath("a.txt")));
    box->serve("a.txt", "content");
    auto worker = box->worker({entryFor("a.txt", "content")});

    QVERIFY(runToEnd(*worker));

    QVERIFY2(worker->isSuccess(), qPrintable(worker->errorMessage()));
    QCOMPARE(readTree(box->rootDir.filePath("outside")),
             (FileTree{{"keep.txt", "not the cache's"}}));
    QCOMPARE(readTree(box->install), (FileTree{{"a.txt", "content"}}));
}

void tst_DownloadThread::linkOnTheWayIsRemovedNotFollowed()
{
    // A folder of the cache that is really a link elsewhere, holding a copy that would pass.
    QVERIFY(writeFile(box->rootDir.filePath("outside/x.txt"), "content"));
    QVERIFY(QFile::link(box->rootDir.filePath("outside"), box->cache.filePath("sub")));
    box->serve("sub/x.txt", "content");
    auto worker = box->worker({entryFor("sub/x.txt", "content")});

    QVERIFY(runToEnd(*worker));

    QVERIFY2(worker->isSuccess(), qPrintable(worker->errorMessage()));
    QCOMPARE(box->server.requestedPaths(), QStringList{"/v/sub/x.txt"});
    QCOMPARE(readTree(box->rootDir.filePath("outside")), (FileTree{{"x.txt", "content"}}));
    QVERIFY(!QFileInfo(box->cache.filePath("sub")).isSymLink());
    QCOMPARE(readTree(box->install), (FileTree{{"sub/x.txt", "content"}}));
}

void tst_DownloadThread::failedTransferWritesNothing_data()
{
    QTest::addColumn<TestResponse>("answer");
    QTest::addColumn<QByteArray>("listedMd5"); // empty: the data's own MD5 text
    QTest::addColumn<int>("stallTimeoutMs");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<bool>("exact"); // false: expected is followed by the reply's error text

    const QByteArray data = patterned(Large);
    const int normal = CDownloadThread::DefaultStallTimeoutMs;
    const QString network = "下载更新文件data.bin网络错误：";
    const QString size = "下载更新文件data.bin大小不对";
    const QString digest = "更新文件data.bin校验不对";

    QTest::newRow("404") << TestResponse::withStatus(404, "missing") << QByteArray() << normal
                         << network + "404-" << false;
    QTest::newRow("204") << TestResponse::withStatus(204) << md5Text(QByteArray()) << normal
                         << network + "204-" << false;
    QTest::newRow("206 with the right data") << TestResponse::withStatus(206, data) << QByteArray()
                                             << normal << network + "206-" << false;
    QTest::newRow("stalled after headers") << TestResponse::ok(data).stalledAfterHeaders()
                                           << QByteArray() << 300 << network + "200-" << false;
    QTest::newRow("stalled within the body") << TestResponse::ok(data).trickled(Large / 2, 60000)
                                             << QByteArray() << 300 << network + "200-" << false;
    QTest::newRow("one byte short")
        << TestResponse::ok(data.left(Large - 1)) << QByteArray() << normal << size << true;
    // The surplus arrives at once and the rest only after a minute: only an immediate abort
    // ends the run in time.
    QTest::newRow("one byte long, aborted at once")
        << TestResponse::ok(data + "xy").trickled(Large + 1, 60000) << md5Text(data) << normal
        << size << true;
    QTest::newRow("connection closed early")
        << TestResponse::ok(data).cutAfter(Large / 2) << QByteArray() << normal << size << true;
    QTest::newRow("close-delimited, closed early")
        << TestResponse::ok(data).closeDelimited().cutAfter(Large - 1) << QByteArray() << normal
        << size << true;
    // Counted as the bytes it is, not inflated to what the list names.
    QTest::newRow("compressed although not asked for")
        << TestResponse::ok(qCompress(data).mid(4)).withHeader("Content-Encoding", "deflate")
        << md5Text(data) << normal << size << true;
    QTest::newRow("other MD5 text")
        << TestResponse::ok(data) << md5Text("other") << normal << digest << true;
    QTest::newRow("MD5 text in upper case")
        << TestResponse::ok(data) << md5Text(data).toUpper() << normal << digest << true;
}

void tst_DownloadThread::failedTransferWritesNothing()
{
    QFETCH(TestResponse, answer);
    QFETCH(QByteArray, listedMd5);
    QFETCH(int, stallTimeoutMs);
    QFETCH(QString, expected);
    QFETCH(bool, exact);
    FileEntry entry = entryFor("data.bin", patterned(Large));
    if (!listedMd5.isEmpty()) {
        entry.md5 = listedMd5;
    }
    if (answer.status == 204) {
        entry.size = 0;
    }
    QVERIFY(writeFile(box->cache.filePath("data.bin"), "stale"));
    box->serve("data.bin", answer);
    auto worker = box->worker({entry}, stallTimeoutMs);
    QSignalSpy failed(worker.get(), &CDownloadThread::downloadFail);
    QStringList events;
    QObject receiver; // goes before events, and takes any undelivered call with it
    connect(worker.get(), &CDownloadThread::downloadFail, &receiver,
            [&] { events << "fail: " + worker->errorMessage(); });
    connect(worker.get(), &QThread::finished, &receiver, [&] { events << "finished"; });

    QVERIFY2(runToEnd(*worker), "the thread did not finish after the failure");

    QCOMPARE(failed.size(), 1);
    const QString text = failed.at(0).at(1).toString();
    QCOMPARE(fileOf(failed, 0), box->cache.absoluteFilePath("data.bin"));
    QCOMPARE(events, (QStringList{"fail: " + text, "finished"}));
    QCOMPARE(worker->errorMessage(), text);
    if (exact) {
        QCOMPARE(text, expected);
    } else {
        QVERIFY2(text.startsWith(expected) && text.size() > expected.size(), qPrintable(text));
    }
    QVERIFY(!worker->isSuccess());
    QCOMPARE(readTree(box->cache), (FileTree{{"data.bin", "stale"}}));
    QCOMPARE(readTree(box->install), FileTree());
}

void tst_DownloadThread::refusedConnectionReportsStatusZero()
{
    QTcpServer closed;
    QVERIFY(closed.listen(QHostAddress::LocalHost));
    const quint16 port = closed.serverPort();
    closed.close();
    auto worker = std::make_unique<CDownloadThread>(
        QString("http://127.0.0.1:%1/v/").arg(port), box->cache, box->install,
        QList<FileEntry>{entryFor("a.bin", "data")}, nullptr);

    QVERIFY(runToEnd(*worker));

    const QString text = worker->errorMessage();
    QVERIFY2(text.startsWith("下载更新文件a.bin网络错误：0-") && text.contains("refused"),
             qPrintable(text));
}

void tst_DownloadThread::redirectToAnotherServerIsFollowed()
{
    CTestServer other;
    QVERIFY(other.isListening());
    other.setRoute("/elsewhere/a.bin", TestResponse::ok("moved content"));
    TestResponse hop = TestResponse::redirect(302, other.url("/elsewhere/a.bin").toEncoded());
    hop.body = "a redirect body that must not count";
    box->serve("a.bin", hop);
    auto worker = box->worker({entryFor("a.bin", "moved content")});

    QVERIFY(runToEnd(*worker));

    QVERIFY2(worker->isSuccess(), qPrintable(worker->errorMessage()));
    QCOMPARE(box->server.requestedPaths(), QStringList{"/v/a.bin"});
    QCOMPARE(other.requestedPaths(), QStringList{"/elsewhere/a.bin"});
    QCOMPARE(readTree(box->install), (FileTree{{"a.bin", "moved content"}}));
}

void tst_DownloadThread::steadyTrickleOutlastsStallTimeout()
{
    const QByteArray data = patterned(10 * 1000);
    const int stallTimeoutMs = 600;
    const int gapMs = 150;
    box->serve("slow.bin", TestResponse::ok(data).bodyDelayedBy(gapMs).trickled(1000, gapMs));
    auto worker = box->worker({entryFor("slow.bin", data)}, stallTimeoutMs);
    QSignalSpy progress(worker.get(), &CDownloadThread::downloadProgress);

    QVERIFY(runToEnd(*worker));

    QVERIFY2(worker->isSuccess(), qPrintable(worker->errorMessage()));
    QVERIFY2(progress.size() >= 10 * gapMs / stallTimeoutMs,
             "the body did not arrive in pieces, so the test proves nothing");
}

void tst_DownloadThread::runEndedInConstructorStillFinishes_data()
{
    QTest::addColumn<bool>("cached");
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("success");

    QTest::newRow("every file valid in the cache") << true << "a.txt" << true;
    QTest::newRow("unsafe first entry") << false << "../a.txt" << false;
    QTest::newRow("empty list") << false << QString() << true;
}

void tst_DownloadThread::runEndedInConstructorStillFinishes()
{
    QFETCH(bool, cached);
    QFETCH(QString, path);
    QFETCH(bool, success);
    QList<FileEntry> entries;
    if (!path.isNull()) {
        entries.append(entryFor(path, "content"));
    }
    if (cached) {
        QVERIFY(writeFile(box->cache.filePath(path), "content"));
    }
    auto worker = box->worker(entries);
    QCOMPARE(worker->isSuccess(), success);
    QVERIFY(!worker->errorMessage().isEmpty());

    QVERIFY2(runToEnd(*worker, 5000), "a thread started after the run had ended kept running");
    QVERIFY(box->server.requestedPaths().isEmpty());
}

void tst_DownloadThread::leftoverTemporaryFileIsRemoved()
{
    const QString leftover = box->cache.filePath(DownloadSink::NamePrefix + "killedrun");
    QVERIFY(writeFile(leftover, "half a download"));
    QVERIFY(writeFile(box->cache.filePath("unrelated.txt"), "kept"));
    box->serve("a.txt", "content");

    auto worker = box->worker({entryFor("a.txt", "content")});

    QVERIFY2(!QFileInfo::exists(leftover), "the temporary file of an earlier run is still there");
    QVERIFY(runToEnd(*worker));
    QCOMPARE(readTree(box->cache), (FileTree{{"unrelated.txt", "kept"}}));
}

void tst_DownloadThread::unwritableCacheIsReportedAfterChecks_data()
{
    QTest::addColumn<bool>("cacheIsFile"); // else a file stands where the place's directory goes
    QTest::addColumn<TestResponse>("answer");
    QTest::addColumn<QByteArray>("listedMd5");
    QTest::addColumn<QString>("expected");

    const QByteArray data = patterned(100 * 1000);
    const QString written = "更新文件a.bin写入失败";
    for (const bool cacheIsFile : {true, false}) {
        const char *where = cacheIsFile ? "cache is a file" : "directory blocked";
        QTest::addRow("%s, checks pass", where)
            << cacheIsFile << TestResponse::ok(data) << QByteArray() << written;
        QTest::addRow("%s, size wrong", where) << cacheIsFile << TestResponse::ok(data.left(10))
                                               << QByteArray() << "下载更新文件a.bin大小不对";
        QTest::addRow("%s, MD5 wrong", where)
            << cacheIsFile << TestResponse::ok(data) << md5Text("x") << "更新文件a.bin校验不对";
    }
}

void tst_DownloadThread::unwritableCacheIsReportedAfterChecks()
{
    QFETCH(bool, cacheIsFile);
    QFETCH(TestResponse, answer);
    QFETCH(QByteArray, listedMd5);
    QFETCH(QString, expected);
    FileEntry entry = entryFor(cacheIsFile ? "a.bin" : "sub/a.bin", patterned(100 * 1000));
    if (!listedMd5.isEmpty()) {
        entry.md5 = listedMd5;
    }
    const QString cachePath = box->rootDir.filePath("cache-file");
    QVERIFY(writeFile(cacheIsFile ? cachePath : box->cache.filePath("sub"), "in the way"));
    box->serve(entry.path, answer);
    auto worker = box->worker({entry}, CDownloadThread::DefaultStallTimeoutMs,
                              cacheIsFile ? cachePath : QString());

    QVERIFY(runToEnd(*worker));

    QCOMPARE(worker->errorMessage(), expected);
    QCOMPARE(box->server.requestedPaths(), QStringList{"/v/" + entry.path});
    if (!cacheIsFile) {
        QCOMPARE(readTree(box->cache), (FileTree{{"sub", "in the way"}}));
    }
}

void tst_DownloadThread::destroyedWhileRunningLeavesNoTemporaryFile()
{
    box->serve("a.bin", TestResponse::ok(patterned(Large)).trickled(Large / 4, 60000));
    auto worker = box->worker({entryFor("a.bin", patterned(Large))});
    worker->start();
    // Some of the body has reached the temporary file, and the rest is a minute away.
    const auto received = [this] {
        const FileTree cached = readTree(box->cache);
        return cached.size() == 1 ? cached.first().size() : 0;
    };
    QTRY_VERIFY(received() > 0);
    QVERIFY(worker->isRunning());

    worker.reset();

    QCOMPARE(readTree(box->cache), FileTree());
}

void tst_DownloadThread::interruptedDownloadIsContinued_data()
{
    QTest::addColumn<QList<TestResponse>>("answers"); // in turn, one per request
    QTest::addColumn<QString>("between");      // done to the partial copy after the first attempt
    QTest::addColumn<QByteArrayList>("asked"); // per request: its Range and If-Range
    QTest::addColumn<QStringList>("outcomes"); // per attempt

    const int size = Continued;
    const int half = size / 2;
    const QByteArray data = patterned(size);
    const auto whole = [&](const QByteArray &header, const QByteArray &value) {
        return TestResponse::ok(data).withHeader(header, value);
    };
    const auto rest = [&](int from, const QByteArray &header, const QByteArray &value) {
        const QByteArray range = "bytes " + QByteArray::number(from) + '-' +
                                 QByteArray::number(size - 1) + '/' + QByteArray::number(size);
        return TestResponse::withStatus(206, data.mid(from))
            .withHeader("Content-Range", range)
            .withHeader(header, value);
    };
    const QByteArray etag = "\"v1\"";
    const QByteArray date = "Tue, 02 Jan 2024 10:00:00 GMT";
    const TestResponse cut = whole("ETag", etag).cutAfter(half);
    const QByteArray range = "bytes=" + QByteArray::number(half) + "- ";
    const QString shortText = "下载更新文件data.bin大小不对";
    const QString misfit = "下载更新文件data.bin网络错误：206-the partial answer does not continue "
                           "the partial download";
    const QString done = "更新成功";

    QTest::newRow("same ETag") << QList<TestResponse>{cut, rest(half, "ETag", etag)} << ""
                               << QByteArrayList{"", range + etag} << QStringList{shortText, done};
    QTest::newRow("Last-Modified only")
        << QList<TestResponse>{whole("Last-Modified", date).cutAfter(half),
                               rest(half, "Last-Modified", date)}
        << "" << QByteArrayList{"", range + date} << QStringList{shortText, done};
    QTest::newRow("whole file instead")
        << QList<TestResponse>{cut, whole("ETag", "\"v2\"")} << ""
        << QByteArrayList{"", range + etag} << QStringList{shortText, done};
    QTest::newRow("206 from another offset")
        << QList<TestResponse>{cut, rest(half - 10, "ETag", etag), whole("ETag", etag)} << ""
        << QByteArrayList{"", range + etag, ""} << QStringList{shortText, misfit, done};
    QTest::newRow("206 of another entity")
        << QList<TestResponse>{cut, rest(half, "ETag", "\"v2\""), whole("ETag", etag)} << ""
        << QByteArrayList{"", range + etag, ""} << QStringList{shortText, misfit, done};
    QTest::newRow("no validator") << QList<TestResponse>{TestResponse::ok(data).cutAfter(half),
                                                         TestResponse::ok(data)}
                                  << "" << QByteArrayList{"", ""} << QStringList{shortText, done};
    QTest::newRow("whole answer, too short")
        << QList<TestResponse>{TestResponse::ok(data.left(half)).withHeader("ETag", etag),
                               whole("ETag", etag)}
        << "" << QByteArrayList{"", ""} << QStringList{shortText, done};
    QTest::newRow("weak ETag") << QList<TestResponse>{whole("ETag", "W/" + etag).cutAfter(half),
                                                      whole("ETag", "W/" + etag)}
                               << "" << QByteArrayList{"", ""} << QStringList{shortText, done};
    // As if a run had received every byte and was killed before placing the file.
    QTest::newRow("finished copy") << QList<TestResponse>{cut} << "finish" << QByteArrayList{""}
                                   << QStringList{shortText, done};
    QTest::newRow("finished copy, damaged")
        << QList<TestResponse>{cut, whole("ETag", etag)} << "damage" << QByteArrayList{"", ""}
        << QStringList{shortText, done};
    QTest::newRow("copy replaced by a link")
        << QList<TestResponse>{cut, whole("ETag", etag)} << "link" << QByteArrayList{"", ""}
        << QStringList{shortText, done};
}

void tst_DownloadThread::interruptedDownloadIsContinued()
{
    QFETCH(QList<TestResponse>, answers);
    QFETCH(QString, between);
    QFETCH(QByteArrayList, asked);
    QFETCH(QStringList, outcomes);
    const QByteArray data = patterned(Continued);
    FileEntry entry = entryFor("data.bin", data);
    entry.sha256 = sha256Text(data);
    box->server.setRouteSequence("/v/data.bin", answers);

    QStringList texts;
    for (int attempt = 0; attempt < outcomes.size(); ++attempt) {
        auto worker = box->worker({entry});
        QSignalSpy progress(worker.get(), &CDownloadThread::downloadProgress);
        QVERIFY(runToEnd(*worker));
        texts << worker->errorMessage();
        if (attempt == 0 && !between.isEmpty()) {
            const QStringList copies = box->cache.entryList({DownloadSink::NamePrefix + "*"},
                                                            QDir::Files | QDir::Hidden, QDir::Name);
            QCOMPARE(copies.size(), 2); // the copy and its validator
            const QString copy = box->cache.filePath(copies.first());
            // A copy read through the link would show as a Range request.
            const QString outside = box->rootDir.filePath("outside");
            if (between == "link") {
                QVERIFY(QFile::rename(copy, outside) && QFile::link(outside, copy));
            } else {
                QFile file(copy);
                QVERIFY(file.open(QIODevice::Append));
                const QByteArray tail = data.mid(file.size());
                QVERIFY(file.write(between == "damage" ? tail.toUpper() : tail) == tail.size());
            }
        }
        if (attempt == outcomes.size() - 1 && !progress.isEmpty()) {
            QCOMPARE(progress.last().at(0).value<int64_t>(), int64_t(data.size()));
            QCOMPARE(progress.last().at(1).value<int64_t>(), int64_t(data.size()));
        }
    }

    QCOMPARE(texts, outcomes);
    QByteArrayList seen;
    for (const RecordedRequest &request : box->server.requests()) {
        seen << (request.header("Range") + ' ' + request.header("If-Range")).trimmed();
    }
    QCOMPARE(seen, asked);
    QVERIFY2(readTree(box->install) == (FileTree{{"data.bin", data}}),
             "the installed file differs from the download");
    QCOMPARE(readTree(box->cache).keys(), QStringList());
}

QTEST_GUILESS_MAIN(tst_DownloadThread)
#include "tst_downloadthread.moc"
