#include "EngineSandbox.h"

#include <QSignalSpy>
#include <QtTest>

#include <algorithm>

Q_DECLARE_METATYPE(QList<TestResponse>)

namespace {

constexpr int FileBytes = 3000;

QString fileName(int i)
{
    return QStringLiteral("f%1.bin").arg(i);
}

QByteArray content(int i)
{
    return patterned(FileBytes + i);
}

} // namespace

// The worker with several transfers in flight.
class tst_ParallelDownload : public QObject
{
    Q_OBJECT

private slots:
    void init() { box = std::make_unique<EngineSandbox>(); }
    void cleanup() { box.reset(); }

    void severalAtOnce_data();
    void severalAtOnce();
    void cancelStopsEveryTransfer();

private:
    std::unique_ptr<CDownloadThread> worker(int files, int connections,
                                            const TransferLimits &limits)
    {
        QList<FileEntry> entries;
        for (int i = 0; i < files; ++i)
            entries << entryFor(fileName(i), content(i));
        return std::make_unique<CDownloadThread>(box->baseUrl(), box->cache, box->install, entries,
                                                 nullptr, limits, nullptr, connections);
    }

    std::unique_ptr<EngineSandbox> box;
};

// Eight files; the answers for the first ones are given, the rest are plain and prompt. The
// floor is scaled down: 2,000 bytes/s over each second.
void tst_ParallelDownload::severalAtOnce_data()
{
    QTest::addColumn<int>("connections");
    QTest::addColumn<QList<TestResponse>>("answers");
    QTest::addColumn<QString>("failure");    // empty: all eight are installed
    QTest::addColumn<int>("tcpConnections"); // 0: not counted

    const auto slow = [](int i) { return TestResponse::ok(content(i)).delayedBy(300); };
    QTest::newRow("one at a time")
        << 1 << QList<TestResponse>{slow(0), slow(1), slow(2), slow(3)} << QString() << 1;
    QTest::newRow("four at a time")
        << 4 << QList<TestResponse>{slow(0), slow(1), slow(2), slow(3)} << QString() << 4;
    QTest::newRow("more than six asked for")
        << 9 << QList<TestResponse>{slow(0), slow(1), slow(2), slow(3), slow(4), slow(5), slow(6)}
        << QString() << 6;
    // The third fails at once; the others would take ten seconds.
    const auto late = [](int i) { return TestResponse::ok(content(i)).delayedBy(10000); };
    QTest::newRow("a failure ends the others")
        << 4 << QList<TestResponse>{late(0), late(1), TestResponse::withStatus(404), late(3)}
        << "下载更新文件f2.bin网络错误：404-" << 0;
    // The first stalls; the other seven arrive meanwhile and stay verified in the cache.
    QTest::newRow("a stall holds up no other transfer")
        << 4 << QList<TestResponse>{TestResponse::ok(content(0)).stalledAfterHeaders()}
        << "下载更新文件f0.bin网络错误：200-网络超时" << 0;
    // Each below the floor, together above it.
    const auto trickle = [](int i, int pauseMs) {
        return TestResponse::ok(content(i)).trickled(300, pauseMs);
    };
    QTest::newRow("the floor is the run's")
        << 4
        << QList<TestResponse>{trickle(0, 250), trickle(1, 250), trickle(2, 250), trickle(3, 250)}
        << QString() << 0;
    QTest::newRow("the run below the floor")
        << 4
        << QList<TestResponse>{trickle(0, 1000), trickle(1, 1000), trickle(2, 1000),
                               trickle(3, 1000)}
        << "下载更新文件f0.bin网络错误：200-slower than 2000 bytes/s for 1 s" << 0;
}

void tst_ParallelDownload::severalAtOnce()
{
    QFETCH(int, connections);
    QFETCH(QList<TestResponse>, answers);
    QFETCH(QString, failure);
    QFETCH(int, tcpConnections);
    constexpr int Files = 8;
    for (int i = 0; i < Files; ++i)
        box->serve(fileName(i), i < answers.size() ? answers[i] : TestResponse::ok(content(i)));
    TransferLimits limits = CDownloadThread::defaultLimits();
    limits.silenceMs = 1500;
    limits.floorBytesPerSecond = 2000;
    limits.floorWindowMs = 1000;
    auto run = worker(Files, connections, limits);
    QSignalSpy progress(run.get(), &CDownloadThread::updateProgress);
    QSignalSpy started(run.get(), &CDownloadThread::downloadStarted);

    QElapsedTimer clock;
    clock.start();
    QVERIFY(runToEnd(*run, 8000));

    QStringList expectedPaths;
    QStringList expectedStarts;
    for (int i = 0; i < Files; ++i) {
        expectedPaths << "/v/" + fileName(i);
        expectedStarts << fileName(i);
    }
    if (failure.isEmpty()) {
        QVERIFY2(run->isSuccess(), qPrintable(run->errorMessage()));
        QCOMPARE(readTree(box->install).size(), Files);
        // Issued in list order (the first ones before the worker's constructor returns);
        // over several connections they may reach the server in any.
        QStringList starts;
        for (const QList<QVariant> &start : qAsConst(started))
            starts << start.at(0).value<QFileInfo>().fileName();
        QCOMPARE(starts, expectedStarts.mid(std::min(connections, MostConnections)));
        QStringList requested = box->server.requestedPaths();
        requested.sort();
        QCOMPARE(requested, expectedPaths);
        const qint64 total = Files * FileBytes + Files * (Files - 1) / 2;
        QCOMPARE(progress.last().at(0).value<int64_t>(), total);
        QCOMPARE(progress.last().at(1).value<int64_t>(), total);
    } else {
        QVERIFY2(run->errorMessage().startsWith(failure), qPrintable(run->errorMessage()));
        QCOMPARE(readTree(box->install), FileTree());
        QVERIFY2(clock.elapsed() < 5000, "the transfers still in flight were waited for");
    }
    if (tcpConnections > 0)
        QCOMPARE(box->server.connectionCount(), tcpConnections);
    if (QTest::currentDataTag() == QLatin1String("a stall holds up no other transfer")) {
        FileTree cached = readTree(box->cache);
        for (int i = 1; i < Files; ++i)
            QCOMPARE(cached.value(fileName(i)), content(i));
    }
}

void tst_ParallelDownload::cancelStopsEveryTransfer()
{
    for (int i = 0; i < 4; ++i)
        box->serve(fileName(i), TestResponse::ok(content(i)).delayedBy(1000));
    auto run = worker(4, 4, CDownloadThread::defaultLimits());
    QSignalSpy finished(run.get(), &QThread::finished);
    run->start();
    QTRY_COMPARE(box->server.requestedPaths().size(), 4);

    run->quit(); // what the progress dialog's cancel does
    QTRY_COMPARE(finished.size(), 1);
    QTest::qWait(1500); // the answers are sent meanwhile

    QVERIFY(!run->isSuccess());
    QCOMPARE(readTree(box->install), FileTree());
    for (int i = 0; i < 4; ++i)
        QVERIFY2(!readTree(box->cache).contains(fileName(i)), "a transfer went on after cancel");
}

QTEST_GUILESS_MAIN(tst_ParallelDownload)
#include "tst_paralleldownload.moc"
