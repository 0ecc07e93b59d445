#include "BlockingRequest.h"
#include "Patterned.h"
#include "TestServer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QNetworkAccessManager>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <memory>

namespace {

const QString timeoutText = QStringLiteral("网络超时");

} // namespace

class tst_BlockingRequest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void okReplyAssignsBody_data();
    void okReplyAssignsBody();
    void redirectPolicy_data();
    void redirectPolicy();
    void otherStatusFails_data();
    void otherStatusFails();
    void unfinishedReplyTimesOut_data();
    void unfinishedReplyTimesOut();
    void slowOrLargeAnswers_data();
    void slowOrLargeAnswers();
    void noLimitWaitsForSlowReply_data();
    void noLimitWaitsForSlowReply();
    void responseHeadersAreMerged();
    void requestIsSentAsGiven_data();
    void requestIsSentAsGiven();
    void refusedConnectionReportsReplyError();
    void truncatedOkReplyFails_data();
    void truncatedOkReplyFails();

    void serverReusesKeptAliveConnection();
    void serverClosesWhenClientAsks();
    void serverAnswersRouteSequenceInTurn();
    void serverServesDirectory_data();
    void serverServesDirectory();
    void serverAnswersPipelinedRequestsInOrder();

private:
    bool fetch(const QString &path, int timeoutSeconds, HeaderMap requestHeaders = HeaderMap(),
               const QByteArray &verb = "GET", const QByteArray &body = QByteArray(),
               HeaderMap *responseHeaders = nullptr);

    std::unique_ptr<CTestServer> server;
    std::unique_ptr<QNetworkAccessManager> manager;
    QByteArray response;
    QString errorText;
};

void tst_BlockingRequest::init()
{
    server = std::make_unique<CTestServer>();
    QVERIFY2(server->isListening(), "the test server could not listen on 127.0.0.1");
    manager = std::make_unique<QNetworkAccessManager>();
    response = "held before the call";
    errorText = "set before the call";
}

void tst_BlockingRequest::cleanup()
{
    manager.reset();
    server.reset();
}

bool tst_BlockingRequest::fetch(const QString &path, int timeoutSeconds, HeaderMap requestHeaders,
                                const QByteArray &verb, const QByteArray &body,
                                HeaderMap *responseHeaders)
{
    return blockingRequest(manager.get(), server->url(path), response, errorText,
                           TransferLimits::waiting(std::max(timeoutSeconds, 0) * 1000),
                           requestHeaders, verb, body, responseHeaders);
}

void tst_BlockingRequest::okReplyAssignsBody_data()
{
    QTest::addColumn<TestResponse>("answer");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("empty body") << TestResponse::ok(QByteArray()) << QByteArray();
    QTest::newRow("small body") << TestResponse::ok("[Summary]\r\nUpdateType=1\r\n")
                                << QByteArray("[Summary]\r\nUpdateType=1\r\n");
    const QByteArray large = patterned(4 * 1024 * 1024);
    QTest::newRow("several megabytes") << TestResponse::ok(large) << large;
    const QByteArray trickle = patterned(6000);
    QTest::newRow("trickled") << TestResponse::ok(trickle).trickled(1000, 20) << trickle;
    QTest::newRow("ended by closing")
        << TestResponse::ok("until close").closeDelimited() << QByteArray("until close");
}

void tst_BlockingRequest::okReplyAssignsBody()
{
    QFETCH(TestResponse, answer);
    QFETCH(QByteArray, expected);
    server->setRoute("/file", answer);

    QVERIFY2(fetch("/file", 5), qPrintable("request failed: " + errorText));
    QVERIFY2(
        response == expected,
        qPrintable(QString("got %1 bytes, expected %2").arg(response.size()).arg(expected.size())));
    QCOMPARE(errorText, QString("set before the call"));
}

void tst_BlockingRequest::otherStatusFails_data()
{
    QTest::addColumn<TestResponse>("answer");
    QTest::addColumn<QString>("errorFragment");

    QTest::newRow("404") << TestResponse::withStatus(404, "missing").withHeader("X-Seen", "yes")
                         << "Not Found";
    QTest::newRow("500 with own reason") << [] {
        TestResponse r = TestResponse::withStatus(500, "broken");
        r.reason = "Disk On Fire";
        return r;
    }() << "Disk On Fire";
    QTest::newRow("204") << TestResponse::withStatus(204) << QString();
    QTest::newRow("206") << TestResponse::withStatus(206, "partial") << QString();
}

void tst_BlockingRequest::otherStatusFails()
{
    QFETCH(TestResponse, answer);
    QFETCH(QString, errorFragment);
    server->setRoute("/file", answer);
    server->setRoute("/target", TestResponse::ok("redirect target"));
    HeaderMap headers{{"Before", "kept"}};

    QVERIFY2(!fetch("/file", 5, {}, "GET", {}, &headers), "a reply other than 200 was accepted");
    QVERIFY2(!errorText.isEmpty() && errorText != "set before the call",
             "errorText was not set from the reply");
    QVERIFY2(errorText != timeoutText, "a finished reply was reported as a timeout");
    QVERIFY2(errorText.contains(errorFragment), qPrintable("errorText: " + errorText));
    QCOMPARE(response, QByteArray("held before the call"));
    QCOMPARE(headers, (HeaderMap{{"Before", "kept"}}));
    QCOMPARE(server->requestedPaths(), QStringList{"/file"});
}

void tst_BlockingRequest::redirectPolicy_data()
{
    QTest::addColumn<int>("hops");
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("followed");
    QTest::newRow("301, one hop") << 1 << 301 << true;
    QTest::newRow("302, five hops") << 5 << 302 << true;
    QTest::newRow("307, six hops") << 6 << 307 << false;
}

// A chain /hop1 -> /hop2 -> ... -> /target on the same server.
void tst_BlockingRequest::redirectPolicy()
{
    QFETCH(int, hops);
    QFETCH(int, status);
    QFETCH(bool, followed);
    QStringList expectedPaths;
    for (int hop = 1; hop <= hops; ++hop) {
        const QByteArray next = hop < hops ? "/hop" + QByteArray::number(hop + 1) : "/target";
        server->setRoute("/hop" + QString::number(hop), TestResponse::redirect(status, next));
        expectedPaths << "/hop" + QString::number(hop);
    }
    server->setRoute("/target", TestResponse::ok("redirect target"));

    QCOMPARE(fetch("/hop1", 5), followed);
    if (followed) {
        QCOMPARE(response, QByteArray("redirect target"));
        // Qt sends a request again when the server has closed the kept-alive connection.
        QStringList requested = server->requestedPaths();
        requested.removeDuplicates();
        QCOMPARE(requested, expectedPaths << "/target");
    } else {
        QVERIFY2(errorText.contains("redirect", Qt::CaseInsensitive), qPrintable(errorText));
    }
}

void tst_BlockingRequest::unfinishedReplyTimesOut_data()
{
    QTest::addColumn<TestResponse>("answer");

    QTest::newRow("whole reply late") << TestResponse::ok("late").delayedBy(6000);
    QTest::newRow("body late") << TestResponse::ok("late").bodyDelayedBy(6000);
    QTest::newRow("body never sent") << TestResponse::ok("never").stalledAfterHeaders();
    QTest::newRow("silent within the body") << TestResponse::ok(patterned(600)).trickled(100, 3000);
}

void tst_BlockingRequest::unfinishedReplyTimesOut()
{
    QFETCH(TestResponse, answer);
    server->setRoute("/file", answer);
    HeaderMap headers{{"Before", "kept"}};

    QElapsedTimer clock;
    clock.start();
    QVERIFY2(!fetch("/file", 1, {}, "GET", {}, &headers), "an unfinished reply was accepted");
    const qint64 elapsed = clock.elapsed();

    QCOMPARE(errorText, timeoutText);
    QCOMPARE(response, QByteArray("held before the call"));
    QCOMPARE(headers, (HeaderMap{{"Before", "kept"}}));
    QVERIFY2(elapsed < 4500,
             qPrintable(QString("returned after %1 ms, not at the 1 s limit").arg(elapsed)));
}

// Limits scaled down from a run's: wait 1 s, floor 2,000 bytes/s over each second, at most
// 10,000 bytes.
void tst_BlockingRequest::slowOrLargeAnswers_data()
{
    QTest::addColumn<TestResponse>("answer");
    QTest::addColumn<QString>("failure"); // empty: the answer is accepted

    const QByteArray body = patterned(10000);
    QTest::newRow("longer than the wait, above the floor")
        << TestResponse::ok(body).trickled(1000, 200) << QString();
    QTest::newRow("below the floor, never silent")
        << TestResponse::ok(body).trickled(100, 200) << "slower than 2000 bytes/s for 1 s";
    QTest::newRow("at the cap") << TestResponse::ok(body) << QString();
    QTest::newRow("announced above the cap")
        << TestResponse::ok(body + "x").trickled(1, 60000) << "larger than 10000 bytes";
    QTest::newRow("received above the cap, unannounced")
        << TestResponse::ok(body + body).closeDelimited().trickled(10001, 60000)
        << "larger than 10000 bytes";
}

void tst_BlockingRequest::slowOrLargeAnswers()
{
    QFETCH(TestResponse, answer);
    QFETCH(QString, failure);
    server->setRoute("/file", answer);
    TransferLimits limits = TransferLimits::waiting(1000);
    limits.floorBytesPerSecond = 2000;
    limits.floorWindowMs = 1000;
    limits.maxBodyBytes = 10000;

    const bool fetched = blockingRequest(manager.get(), server->url("/file"), response, errorText,
                                         limits, {}, "GET", {}, nullptr);
    QCOMPARE(fetched, failure.isEmpty());
    if (fetched)
        QCOMPARE(response, answer.body);
    else
        QVERIFY2(errorText.contains(failure), qPrintable(errorText));
}

void tst_BlockingRequest::noLimitWaitsForSlowReply_data()
{
    QTest::addColumn<int>("timeoutSeconds");

    QTest::newRow("0") << 0;
    QTest::newRow("negative") << -1;
}

void tst_BlockingRequest::noLimitWaitsForSlowReply()
{
    QFETCH(int, timeoutSeconds);
    server->setRoute("/file", TestResponse::ok("worth the wait").delayedBy(1200));

    QVERIFY2(fetch("/file", timeoutSeconds), qPrintable("request failed: " + errorText));
    QCOMPARE(response, QByteArray("worth the wait"));
}

void tst_BlockingRequest::responseHeadersAreMerged()
{
    server->setRoute("/file", TestResponse::ok("x")
                                  .withHeader("X-Replace", "new")
                                  .withHeader("X-Case", "upper")
                                  .withHeader("X-Added", "added"));
    HeaderMap headers{{"X-Keep", "old"}, {"X-Replace", "old"}, {"x-case", "lower"}};

    QVERIFY2(fetch("/file", 5, {}, "GET", {}, &headers),
             qPrintable("request failed: " + errorText));
    QCOMPARE(headers.value("X-Keep"), QByteArray("old"));
    QCOMPARE(headers.value("X-Replace"), QByteArray("new"));
    QCOMPARE(headers.value("x-case"), QByteArray("lower"));
    QCOMPARE(headers.value("X-Case"), QByteArray("upper"));
    QCOMPARE(headers.value("X-Added"), QByteArray("added"));
    QCOMPARE(headers.value("Content-Length"), QByteArray("1"));
}

void tst_BlockingRequest::requestIsSentAsGiven_data()
{
    QTest::addColumn<QByteArray>("verb");
    QTest::addColumn<QByteArray>("body");

    QTest::newRow("GET") << QByteArray("GET") << QByteArray();
    QTest::newRow("POST with body") << QByteArray("POST") << QByteArray("a=1&b=2");
    QTest::newRow("custom verb") << QByteArray("FROBNICATE") << QByteArray("payload");
}

void tst_BlockingRequest::requestIsSentAsGiven()
{
    QFETCH(QByteArray, verb);
    QFETCH(QByteArray, body);
    server->setRoute("/srv//update.ini", TestResponse::ok("x"));
    const HeaderMap headers{{"X-Zeta", "last"}, {"X-Alpha", "first"}, {"x-alpha", "lower"}};

    QVERIFY2(fetch("/srv//update.ini", 5, headers, verb, body),
             qPrintable("request failed: " + errorText));
    QCOMPARE(server->requests().size(), 1);
    const RecordedRequest request = server->requests().first();
    QCOMPARE(request.method, verb);
    QCOMPARE(request.path, QString("/srv//update.ini"));
    QCOMPARE(request.body, body);

    QList<QByteArray> sentNames;
    for (const auto &header : request.headers)
        if (header.first.startsWith("X-") || header.first.startsWith("x-"))
            sentNames.append(header.first + '=' + header.second);
    // The request keeps one of two names that differ only in case, the one set last: with names
    // set in ascending byte order that is the lower-case one.
    QCOMPARE(sentNames, (QList<QByteArray>{"X-Zeta=last", "x-alpha=lower"}));
}

void tst_BlockingRequest::refusedConnectionReportsReplyError()
{
    QTcpServer closed;
    QVERIFY(closed.listen(QHostAddress::LocalHost));
    const quint16 port = closed.serverPort();
    closed.close();

    const QUrl url(QString("http://127.0.0.1:%1/update.ini").arg(port));
    QVERIFY(!blockingRequest(manager.get(), url, response, errorText, TransferLimits::waiting(5000),
                             {}, "GET", {}, nullptr));
    QVERIFY2(!errorText.isEmpty() && errorText != "set before the call",
             "errorText was not set from the reply");
    QVERIFY2(errorText != timeoutText, "a refused connection was reported as a timeout");
    QCOMPARE(response, QByteArray("held before the call"));
}

void tst_BlockingRequest::truncatedOkReplyFails_data()
{
    QTest::addColumn<int>("sentBytes");

    QTest::newRow("no body byte") << 0;
    QTest::newRow("part of the body") << 40;
    QTest::newRow("one byte short") << 99;
}

void tst_BlockingRequest::truncatedOkReplyFails()
{
    QFETCH(int, sentBytes);
    server->setRoute("/file", TestResponse::ok(patterned(100)).cutAfter(sentBytes));
    HeaderMap headers;

    QVERIFY2(!fetch("/file", 5, {}, "GET", {}, &headers), "a truncated 200 reply was accepted");
    QVERIFY2(!errorText.isEmpty() && errorText != "set before the call",
             "errorText was not set from the reply");
    QVERIFY2(errorText != timeoutText, qPrintable("errorText: " + errorText));
    QCOMPARE(response, QByteArray("held before the call"));
    QVERIFY2(headers.isEmpty(), "response headers were filled by a failed request");
}

void tst_BlockingRequest::serverReusesKeptAliveConnection()
{
    server->setRoute("/a", TestResponse::ok("first"));
    server->setRoute("/b", TestResponse::ok("second"));
    QSignalSpy received(server.get(), &CTestServer::requestReceived);

    QVERIFY2(fetch("/a", 5), qPrintable(errorText));
    QVERIFY2(fetch("/b", 5), qPrintable(errorText));
    QCOMPARE(response, QByteArray("second"));
    QCOMPARE(received.size(), 2);
    QCOMPARE(received.at(1).at(0).toString(), QString("/b"));
    QCOMPARE(server->requestedPaths(), (QStringList{"/a", "/b"}));
    QCOMPARE(server->connectionCount(), 1);
}

void tst_BlockingRequest::serverClosesWhenClientAsks()
{
    server->setRoute("/a", TestResponse::ok("first"));

    QVERIFY2(fetch("/a", 5, {{"Connection", "close"}}), qPrintable(errorText));
    QVERIFY2(fetch("/a", 5), qPrintable(errorText));
    const QList<RecordedRequest> requests = server->requests();
    QCOMPARE(requests.size(), 2);
    QVERIFY2(requests[0].connection != requests[1].connection,
             "the connection stayed open after \"Connection: close\"");
}

void tst_BlockingRequest::serverAnswersRouteSequenceInTurn()
{
    server->setRouteSequence("/flaky", {TestResponse::withStatus(503), TestResponse::ok("one"),
                                        TestResponse::ok("two")});

    QVERIFY(!fetch("/flaky", 5));
    QVERIFY2(fetch("/flaky", 5), qPrintable(errorText));
    QCOMPARE(response, QByteArray("one"));
    QVERIFY2(fetch("/flaky", 5), qPrintable(errorText));
    QCOMPARE(response, QByteArray("two"));
    QVERIFY2(fetch("/flaky", 5), qPrintable(errorText));
    QCOMPARE(response, QByteArray("two"));

    server->setRoute("/flaky", TestResponse::ok("replaced"));
    server->clearRequests();
    QVERIFY2(fetch("/flaky", 5), qPrintable(errorText));
    QCOMPARE(response, QByteArray("replaced"));
    QCOMPARE(server->requestedPaths(), QStringList{"/flaky"});
}

void tst_BlockingRequest::serverServesDirectory_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("file"); // empty: must not be served

    QTest::newRow("doubled slash at top") << "/srv//update.ini"
                                          << "update.ini";
    QTest::newRow("doubled slash below") << "/srv/Base//md5.txt"
                                         << "Base/md5.txt";
    QTest::newRow("percent-encoded")
        << "/srv/Base/sub%20dir/%E6%96%87.dll" << QString("Base/sub dir/文.dll");
    QTest::newRow("missing file") << "/srv/Base/none.txt" << QString();
    QTest::newRow("directory") << "/srv/Base" << QString();
    QTest::newRow("sibling prefix") << "/srvBase/md5.txt" << QString();
}

void tst_BlockingRequest::serverServesDirectory()
{
    QFETCH(QString, path);
    QFETCH(QString, file);
    QTemporaryDir root;
    QVERIFY(root.isValid());
    const QDir dir(root.path());
    for (const QString &name : QStringList{"update.ini", "Base/md5.txt", "Base/sub dir/文.dll"}) {
        QVERIFY(dir.mkpath(QFileInfo(dir.filePath(name)).path()));
        QFile out(dir.filePath(name));
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write("content of " + name.toUtf8());
    }
    server->serveDirectory("/srv", root.path());

    const bool ok = fetch(path, 5);
    QCOMPARE(server->requestedPaths(), QStringList{path});
    if (file.isEmpty()) {
        QVERIFY2(!ok, "a path outside the served files was answered");
        return;
    }
    QVERIFY2(ok, qPrintable("request failed: " + errorText));
    QCOMPARE(response, "content of " + file.toUtf8());
}

void tst_BlockingRequest::serverAnswersPipelinedRequestsInOrder()
{
    server->setRoute("/slow", TestResponse::ok("slow").delayedBy(300));
    server->setRoute("/fast", TestResponse::ok("fast"));

    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, server->port());
    QVERIFY(socket.waitForConnected(5000));
    socket.write("GET /slow HTTP/1.1\r\nHost: x\r\n\r\nGET /fast HTTP/1.1\r\nHost: x\r\n\r\n");

    QByteArray received;
    QTRY_VERIFY_WITH_TIMEOUT((received += socket.readAll()).contains("fast"), 5000);
    const int slowAt = received.indexOf("\r\n\r\nslow");
    const int fastAt = received.indexOf("\r\n\r\nfast");
    QVERIFY2(slowAt >= 0 && slowAt < fastAt, received.constData());
    QCOMPARE(server->connectionCount(), 1);
}

QTEST_GUILESS_MAIN(tst_BlockingRequest)
#include "tst_blockingrequest.moc"
