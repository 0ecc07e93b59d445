#include "BlockingRequest.h"
#include "CDownloadThread.h"
#include "Md5Text.h"
#include "TestCertificates.h"
#include "TestServer.h"
#include "TrustedCa.h"
#include "UpdateCheck.h"
#include "UpdateContext.h"

#include <QNetworkAccessManager>
#include <QSignalSpy>
#include <QSslError>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

// Fetches over TLS against a server whose certificate comes from an authority trusted for the
// test the way an administrator would trust it.
class tst_Https : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void certificateProblems_data();
    void certificateProblems();
    void schemeChanges_data();
    void schemeChanges();

private:
    // A server on 127.0.0.1 with a certificate from `issuer`.
    std::unique_ptr<CTestServer> tlsServer(const TestIdentity &issuer,
                                           const QStringList &names = {"IP:127.0.0.1"},
                                           int fromDays = -1, int untilDays = 2);
    // Runs a worker for one file to its end; its failure text, empty on success.
    QString download(const QString &base);

    TestIdentity trustedCa;
    std::unique_ptr<TrustedCa> trust;
    QTemporaryDir scratch;
};

void tst_Https::initTestCase()
{
#ifdef Q_OS_WIN
    QSKIP("trusting an authority for a test needs Debian's certificate store");
#endif
    QString reason;
    if (!TrustedCa::isAvailable(reason))
        QSKIP(qPrintable(reason));
    QVERIFY2(makeTestCa(trustedCa, reason), qPrintable(reason));
    trust = std::make_unique<TrustedCa>(trustedCa.certificate);
    QVERIFY2(trust->isTrusted(), qPrintable(trust->errorText()));
}

std::unique_ptr<CTestServer> tst_Https::tlsServer(const TestIdentity &issuer,
                                                  const QStringList &names, int fromDays,
                                                  int untilDays)
{
    TestIdentity leaf;
    QString error;
    auto server = std::make_unique<CTestServer>();
    if (!makeTestLeaf(issuer, names, fromDays, untilDays, leaf, error) ||
        !server->useTls(leaf.key, {leaf.certificate})) {
        qWarning("no TLS server: %s", qPrintable(error));
        return nullptr;
    }
    return server;
}

QString tst_Https::download(const QString &base)
{
    QDir cache(scratch.filePath("cache")), install(scratch.filePath("install"));
    cache.removeRecursively();
    install.removeRecursively();
    QDir().mkpath(cache.path());
    QDir().mkpath(install.path());
    const QByteArray content("file over https");
    CDownloadThread worker(base, cache, install,
                           {FileEntry{"a.bin", quint64(content.size()), md5Text(content)}},
                           nullptr);
    QSignalSpy finished(&worker, &QThread::finished);
    worker.start();
    if (!finished.wait(20000))
        return "the worker did not end";
    return worker.isSuccess() ? QString() : worker.errorMessage();
}

void tst_Https::certificateProblems_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<int>("untilDays");
    QTest::addColumn<bool>("fromTrustedCa");
    QTest::addColumn<int>("problem"); // QSslError::SslError; NoError: the fetch succeeds

    QTest::newRow("trusted") << QStringList{"IP:127.0.0.1"} << 2 << true << int(QSslError::NoError);
    QTest::newRow("untrusted issuer") << QStringList{"IP:127.0.0.1"} << 2 << false
                                      << int(QSslError::UnableToGetLocalIssuerCertificate);
    QTest::newRow("expired") << QStringList{"IP:127.0.0.1"} << -1 << true
                             << int(QSslError::CertificateExpired);
    QTest::newRow("name mismatch")
        << QStringList{"DNS:other.invalid"} << 2 << true << int(QSslError::HostNameMismatch);
}

// The description's fetch and a file's transfer both end on the problem and name it.
void tst_Https::certificateProblems()
{
    QFETCH(QStringList, names);
    QFETCH(int, untilDays);
    QFETCH(bool, fromTrustedCa);
    QFETCH(int, problem);
    TestIdentity otherCa;
    QString error;
    QVERIFY2(makeTestCa(otherCa, error), qPrintable(error));
    const auto server = tlsServer(fromTrustedCa ? trustedCa : otherCa, names, -10, untilDays);
    QVERIFY(server);
    server->setRoute("/u//update.ini", TestResponse::ok("[Summary]\n"));
    server->setRoute("/v/a.bin", TestResponse::ok("file over https"));

    QNetworkAccessManager manager;
    QByteArray response;
    const bool fetched = blockingRequest(&manager, server->url("/u//update.ini"), response, error,
                                         TransferLimits::waiting(5000), {}, "GET", {}, nullptr);
    const QString fileFailure = download(server->baseUrl() + "/v/");

    const QString text = QSslError(QSslError::SslError(problem)).errorString();
    QCOMPARE(fetched, problem == QSslError::NoError);
    QCOMPARE(fetched ? QString() : error, fetched ? QString() : text);
    QCOMPARE(fileFailure, fetched ? QString() : "下载更新文件a.bin网络错误：0-" + text);
}

void tst_Https::schemeChanges_data()
{
    QTest::addColumn<bool>("configuredHttps");
    QTest::addColumn<bool>("fileRedirectsToHttp");
    QTest::addColumn<QString>("failure"); // empty: the check and the download succeed

    // A vendor's move to HTTPS: the description is found there, and the rest is still built
    // from the configured address.
    QTest::newRow("description moved from http to https") << false << false << QString();
    QTest::newRow("description moved from https to http")
        << true << false << "下载升级描述文件失败:redirected from https to plain http";
    QTest::newRow("file moved from https to http")
        << true << true << "下载更新文件a.bin网络错误：302-redirected from https to plain http";
}

void tst_Https::schemeChanges()
{
    QFETCH(bool, configuredHttps);
    QFETCH(bool, fileRedirectsToHttp);
    QFETCH(QString, failure);
    const auto tls = tlsServer(trustedCa);
    QVERIFY(tls);
    CTestServer plain;
    CTestServer &configured = configuredHttps ? *tls : plain;
    CTestServer &other = configuredHttps ? plain : *tls;
    // One move per row: the description's, or the file's.
    configured.setRoute("/u//update.ini",
                        fileRedirectsToHttp ? TestResponse::ok("[Summary]\nUpdateType=1\n")
                                            : TestResponse::redirect(
                                                  301, other.url("/moved/update.ini").toEncoded()));
    other.setRoute("/moved/update.ini", TestResponse::ok("[Summary]\nUpdateType=1\n"));
    const QByteArray list = md5Text("file over https") + "\t0000000f00000000\ta.bin\n";
    configured.setRoute("/u/Base//md5.txt", TestResponse::ok(list));
    configured.setRoute("/u/Base/a.bin",
                        fileRedirectsToHttp
                            ? TestResponse::redirect(302, plain.url("/a.bin").toEncoded())
                            : TestResponse::ok("file over https"));
    plain.setRoute("/a.bin", TestResponse::ok("file over https"));

    UpdateContext context;
    context.serverUrl = configured.baseUrl() + "/u/";
    context.installDir.setPath(scratch.filePath("install"));
    context.cacheDir.setPath(scratch.filePath("cache"));
    QDir().mkpath(context.installDir.path());
    QDir().mkpath(context.cacheDir.path());
    const CheckResult check = checkForUpdate(context);
    QString text = check.failureText;
    if (text.isEmpty()) {
        QCOMPARE(check.versionBaseUrl, configured.baseUrl() + "/u/Base/");
        text = download(check.versionBaseUrl);
    }
    QVERIFY2(failure.isEmpty() ? text.isEmpty() : text.startsWith(failure), qPrintable(text));
}

QTEST_MAIN(tst_Https)
#include "tst_https.moc"
