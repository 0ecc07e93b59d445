#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMetaType>
#include <QObject>
#include <QPair>
#include <QSslCertificate>
#include <QSslKey>
#include <QString>
#include <QStringList>
#include <QTcpServer>
#include <QUrl>

// A small HTTP/1.1 server on 127.0.0.1 for tests. It lives on the thread that creates it, so it
// keeps answering while the code under test waits in a nested event loop on that same thread.
//
//     CTestServer server;
//     server.setRoute("/srv//update.ini", TestResponse::ok("[Summary]\nUpdateType=1\n"));
//     server.setRoute("/slow", TestResponse::ok("late").delayedBy(3000));
//     server.setRouteSequence("/flaky", {TestResponse::withStatus(500), TestResponse::ok("x")});
//     server.serveDirectory("/srv/", fixtureDir);
//     QUrl url = server.url("/srv//update.ini");
//     ... run the code under test ...
//     QCOMPARE(server.requestedPaths(), QStringList{"/srv//update.ini"});
//
// Routes match the raw request-target exactly as received (doubled slashes, query and
// percent-encoding included). Paths without a route or file get 404.
//
// After useTls() the same server speaks HTTPS (see TestCertificates.h for keys and chains);
// everything else behaves as over plain HTTP.

using RawHeaderList = QList<QPair<QByteArray, QByteArray>>;

// What the server answers to one request, and how it delivers it.
struct TestResponse
{
    int status = 200;
    QByteArray reason; // empty: the usual phrase for the status
    RawHeaderList headers;
    QByteArray body;

    int delayMs = 0;                // before anything is sent
    int bodyDelayMs = 0;            // between the header block and the first body byte
    bool stallAfterHeaders = false; // send the header block, then nothing until the client leaves
    int sentBodyBytes = -1;         // >= 0: send only this much of the body, then close
    bool withContentLength = true;  // false: the body ends when the connection closes
    int chunkSize = 0;              // > 0: send the body in pieces of this size ...
    int chunkDelayMs = 0;           // ... with this pause after each piece

    static TestResponse ok(const QByteArray &body);
    static TestResponse withStatus(int status, const QByteArray &body = QByteArray());
    static TestResponse redirect(int status, const QByteArray &location);

    TestResponse delayedBy(int ms) const;
    TestResponse withHeader(const QByteArray &name, const QByteArray &value) const;
    TestResponse bodyDelayedBy(int ms) const;
    TestResponse stalledAfterHeaders() const;
    TestResponse cutAfter(int bodyBytes) const;
    TestResponse closeDelimited() const;
    TestResponse trickled(int bytesPerChunk, int pauseMs) const;
};
Q_DECLARE_METATYPE(TestResponse)

struct RecordedRequest
{
    QByteArray method;
    QString path; // the request-target as received
    RawHeaderList headers;
    QByteArray body;
    int connection = 0; // serial number of the TCP connection, counting from 1

    // The first header of that name, compared case-insensitively as HTTP does.
    QByteArray header(const QByteArray &name) const;
};

class CTestServer : public QObject
{
    Q_OBJECT

public:
    // Listens at once on an ephemeral port; check isListening() before use.
    explicit CTestServer(QObject *parent = nullptr);

    bool isListening() const;
    quint16 port() const;
    QString baseUrl() const;             // "http://127.0.0.1:PORT", or https after useTls()
    QUrl url(const QString &path) const; // baseUrl() + path, path kept as written

    // From now on every connection is TLS with this key and chain (the server's own certificate
    // first, then any intermediates). False, and nothing changed, when Qt has no TLS support or
    // the key or chain is missing.
    bool useTls(const QSslKey &key, const QList<QSslCertificate> &chain);

    // Replaces whatever the path answered before.
    void setRoute(const QString &path, const TestResponse &response);
    // Answers the responses in turn; the last one keeps answering after that.
    void setRouteSequence(const QString &path, const QList<TestResponse> &responses);
    // Serves the files below dir for paths that start with prefix (a trailing "/" is implied).
    // Files are read when requested, so tests may change them between requests; paths are
    // percent-decoded and doubled slashes tolerated, like common web servers do. Each answer
    // is shape with the file as its body.
    void serveDirectory(const QString &prefix, const QString &dir,
                        const TestResponse &shape = TestResponse());

    QList<RecordedRequest> requests() const;
    QStringList requestedPaths() const;
    void clearRequests();
    int connectionCount() const;

signals:
    void requestReceived(const QString &path);

private:
    // Hands out accepted connections as server-side QSslSockets, their handshake under way,
    // once it has a chain; until then plain sockets.
    class Listener : public QTcpServer
    {
    public:
        QSslKey key;
        QList<QSslCertificate> chain;

    protected:
        void incomingConnection(qintptr descriptor) override;
    };

    struct ServedDirectory
    {
        QString prefix;
        QString dir;
        TestResponse shape;
    };

    void acceptConnections();
    TestResponse answer(const RecordedRequest &request);
    bool answerFromDirectory(const QString &path, TestResponse &response) const;

    Listener listener;
    QHash<QString, QList<TestResponse>> routes;
    QList<ServedDirectory> directories;
    QList<RecordedRequest> log;
    int connections = 0;
};
