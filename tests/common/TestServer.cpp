#include "TestServer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QQueue>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTcpSocket>
#include <QTimer>

#include <functional>

namespace {

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 204:
        return "No Content";
    case 206:
        return "Partial Content";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 304:
        return "Not Modified";
    case 400:
        return "Bad Request";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 500:
        return "Internal Server Error";
    case 503:
        return "Service Unavailable";
    default:
        return "Status";
    }
}

bool hasToken(const QByteArray &headerValue, const QByteArray &token)
{
    for (const QByteArray &part : headerValue.split(','))
        if (part.trimmed().compare(token, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

// One client connection: parses requests as they arrive and answers them strictly in order,
// one at a time, because a delayed or trickled answer must not be overtaken by the next one.
class Connection : public QObject
{
public:
    using Handler = std::function<TestResponse(const RecordedRequest &)>;

    Connection(QTcpSocket *peer, int number, Handler answer, QObject *parent)
        : QObject(parent), socket(peer), serial(number), handler(std::move(answer))
    {
        socket->setParent(this);
        connect(socket, &QTcpSocket::readyRead, this, &Connection::readRequests);
        connect(socket, &QTcpSocket::disconnected, this, &QObject::deleteLater);
    }

private:
    struct Pending
    {
        TestResponse response;
        bool headOnly = false;
        bool clientWantsClose = false;
    };

    void readRequests()
    {
        buffer += socket->readAll();
        for (;;) {
            const int headEnd = buffer.indexOf("\r\n\r\n");
            if (headEnd < 0)
                break;
            const QList<QByteArray> lines = buffer.left(headEnd).split('\n');
            const QList<QByteArray> requestLine = lines.first().trimmed().split(' ');
            if (requestLine.size() != 3) {
                refuseMalformed();
                return;
            }
            RecordedRequest request;
            request.method = requestLine[0];
            request.path = QString::fromLatin1(requestLine[1]);
            request.connection = serial;
            for (int i = 1; i < lines.size(); ++i) {
                const int colon = lines[i].indexOf(':');
                if (colon > 0)
                    request.headers.append(
                        {lines[i].left(colon).trimmed(), lines[i].mid(colon + 1).trimmed()});
            }
            const int bodyLength = qMax(0, request.header("Content-Length").toInt());
            if (buffer.size() < headEnd + 4 + bodyLength)
                break;
            request.body = buffer.mid(headEnd + 4, bodyLength);
            buffer.remove(0, headEnd + 4 + bodyLength);

            const QByteArray connectionHeader = request.header("Connection");
            Pending pending;
            pending.headOnly = request.method == "HEAD";
            pending.clientWantsClose = requestLine[2] == "HTTP/1.0"
                                           ? !hasToken(connectionHeader, "keep-alive")
                                           : hasToken(connectionHeader, "close");
            pending.response = handler(request);
            queue.enqueue(pending);
        }
        answerNext();
    }

    void refuseMalformed()
    {
        buffer.clear();
        queue.clear();
        socket->write("HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
        socket->disconnectFromHost();
    }

    void answerNext()
    {
        if (busy || queue.isEmpty())
            return;
        busy = true;
        current = queue.dequeue();
        after(current.response.delayMs, [this] { sendHead(); });
    }

    void sendHead()
    {
        const TestResponse &r = current.response;
        closeWhenDone = current.clientWantsClose || !r.withContentLength || r.sentBodyBytes >= 0;
        for (const auto &header : r.headers)
            if (header.first.compare("Connection", Qt::CaseInsensitive) == 0 &&
                hasToken(header.second, "close"))
                closeWhenDone = true;

        QByteArray head = "HTTP/1.1 " + QByteArray::number(r.status) + ' ' +
                          (r.reason.isEmpty() ? reasonPhrase(r.status) : r.reason) + "\r\n";
        for (const auto &header : r.headers)
            head += header.first + ": " + header.second + "\r\n";
        if (r.withContentLength)
            head += "Content-Length: " + QByteArray::number(r.body.size()) + "\r\n";
        if (closeWhenDone)
            head += "Connection: close\r\n";
        socket->write(head + "\r\n");

        if (r.stallAfterHeaders)
            return;
        if (current.headOnly) {
            finishResponse();
            return;
        }
        body = r.sentBodyBytes >= 0 ? r.body.left(r.sentBodyBytes) : r.body;
        sent = 0;
        after(r.bodyDelayMs, [this] { sendBody(); });
    }

    void sendBody()
    {
        const int chunkSize = current.response.chunkSize;
        const int piece = chunkSize > 0 ? qMin(chunkSize, body.size() - sent) : body.size() - sent;
        socket->write(body.constData() + sent, piece);
        sent += piece;
        if (sent < body.size())
            after(current.response.chunkDelayMs, [this] { sendBody(); });
        else
            finishResponse();
    }

    void finishResponse()
    {
        if (closeWhenDone) {
            // Queued requests on a connection that is closing stay unanswered, as with a real
            // server; the client retries them on a new connection.
            queue.clear();
            socket->disconnectFromHost();
            return;
        }
        busy = false;
        answerNext();
    }

    // Runs step later unless the client has gone away meanwhile.
    void after(int ms, std::function<void()> step)
    {
        auto guarded = [this, step] {
            if (socket->state() == QAbstractSocket::ConnectedState)
                step();
        };
        if (ms > 0)
            QTimer::singleShot(ms, this, guarded);
        else
            guarded();
    }

    QTcpSocket *socket;
    const int serial;
    Handler handler;
    QByteArray buffer;
    QQueue<Pending> queue;
    bool busy = false;
    Pending current;
    bool closeWhenDone = false;
    QByteArray body;
    int sent = 0;
};

} // namespace

TestResponse TestResponse::ok(const QByteArray &body)
{
    return withStatus(200, body);
}

TestResponse TestResponse::withStatus(int status, const QByteArray &body)
{
    TestResponse response;
    response.status = status;
    response.body = body;
    return response;
}

TestResponse TestResponse::redirect(int status, const QByteArray &location)
{
    return withStatus(status).withHeader("Location", location);
}

TestResponse TestResponse::delayedBy(int ms) const
{
    TestResponse copy = *this;
    copy.delayMs = ms;
    return copy;
}

TestResponse TestResponse::withHeader(const QByteArray &name, const QByteArray &value) const
{
    TestResponse copy = *this;
    copy.headers.append({name, value});
    return copy;
}

TestResponse TestResponse::bodyDelayedBy(int ms) const
{
    TestResponse copy = *this;
    copy.bodyDelayMs = ms;
    return copy;
}

TestResponse TestResponse::stalledAfterHeaders() const
{
    TestResponse copy = *this;
    copy.stallAfterHeaders = true;
    return copy;
}

TestResponse TestResponse::cutAfter(int bodyBytes) const
{
    TestResponse copy = *this;
    copy.sentBodyBytes = bodyBytes;
    return copy;
}

TestResponse TestResponse::closeDelimited() const
{
    TestResponse copy = *this;
    copy.withContentLength = false;
    return copy;
}

TestResponse TestResponse::trickled(int bytesPerChunk, int pauseMs) const
{
    TestResponse copy = *this;
    copy.chunkSize = bytesPerChunk;
    copy.chunkDelayMs = pauseMs;
    return copy;
}

QByteArray RecordedRequest::header(const QByteArray &name) const
{
    for (const auto &header : headers)
        if (header.first.compare(name, Qt::CaseInsensitive) == 0)
            return header.second;
    return QByteArray();
}

CTestServer::CTestServer(QObject *parent) : QObject(parent)
{
    connect(&listener, &QTcpServer::newConnection, this, &CTestServer::acceptConnections);
    listener.listen(QHostAddress::LocalHost);
}

bool CTestServer::isListening() const
{
    return listener.isListening();
}

quint16 CTestServer::port() const
{
    return listener.serverPort();
}

QString CTestServer::baseUrl() const
{
    return QStringLiteral("%1://127.0.0.1:%2")
        .arg(listener.chain.isEmpty() ? QStringLiteral("http") : QStringLiteral("https"))
        .arg(port());
}

QUrl CTestServer::url(const QString &path) const
{
    return QUrl(baseUrl() + path);
}

bool CTestServer::useTls(const QSslKey &key, const QList<QSslCertificate> &chain)
{
    if (!QSslSocket::supportsSsl() || key.isNull() || chain.isEmpty() || chain.first().isNull())
        return false;
    listener.key = key;
    listener.chain = chain;
    return true;
}

void CTestServer::Listener::incomingConnection(qintptr descriptor)
{
    if (chain.isEmpty()) {
        QTcpServer::incomingConnection(descriptor);
        return;
    }
    auto *socket = new QSslSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    QSslConfiguration configuration = socket->sslConfiguration();
    configuration.setPrivateKey(key);
    configuration.setLocalCertificateChain(chain);
    configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
    socket->setSslConfiguration(configuration);
    addPendingConnection(socket);
    socket->startServerEncryption();
}

void CTestServer::setRoute(const QString &path, const TestResponse &response)
{
    routes.insert(path, {response});
}

void CTestServer::setRouteSequence(const QString &path, const QList<TestResponse> &responses)
{
    routes.insert(path, responses);
}

void CTestServer::serveDirectory(const QString &prefix, const QString &dir,
                                 const TestResponse &shape)
{
    const QString normalized = prefix.endsWith('/') ? prefix : prefix + '/';
    directories.append({normalized, dir, shape});
}

QList<RecordedRequest> CTestServer::requests() const
{
    return log;
}

QStringList CTestServer::requestedPaths() const
{
    QStringList paths;
    for (const RecordedRequest &request : log)
        paths.append(request.path);
    return paths;
}

void CTestServer::clearRequests()
{
    log.clear();
}

int CTestServer::connectionCount() const
{
    return connections;
}

void CTestServer::acceptConnections()
{
    while (QTcpSocket *socket = listener.nextPendingConnection())
        new Connection(
            socket, ++connections,
            [this](const RecordedRequest &request) { return answer(request); }, this);
}

TestResponse CTestServer::answer(const RecordedRequest &request)
{
    log.append(request);
    emit requestReceived(request.path);

    auto route = routes.find(request.path);
    if (route != routes.end()) {
        QList<TestResponse> &responses = route.value();
        return responses.size() > 1 ? responses.takeFirst() : responses.first();
    }
    TestResponse response;
    if (answerFromDirectory(request.path, response))
        return response;
    return TestResponse::withStatus(404, "no such path");
}

bool CTestServer::answerFromDirectory(const QString &path, TestResponse &response) const
{
    const QString withoutQuery = path.section('?', 0, 0);
    for (const ServedDirectory &served : directories) {
        if (!withoutQuery.startsWith(served.prefix))
            continue;
        QString relative =
            QUrl::fromPercentEncoding(withoutQuery.mid(served.prefix.size()).toLatin1());
        while (relative.startsWith('/'))
            relative.remove(0, 1);
        const QDir root(served.dir);
        const QFileInfo target(root.filePath(relative));
        // Resolved paths keep "..", links and doubled slashes from reaching outside the tree.
        if (!target.isFile() || !target.canonicalFilePath().startsWith(root.canonicalPath() + '/'))
            continue;
        QFile file(target.filePath());
        if (!file.open(QIODevice::ReadOnly))
            continue;
        response = served.shape;
        response.body = file.readAll();
        return true;
    }
    return false;
}
