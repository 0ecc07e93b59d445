#include "TestCertificates.h"
#include "TestServer.h"
#include "TrustedCa.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QSslError>
#include <QtTest>

#include <memory>

// The HTTPS tests rely on this: a server that speaks TLS with certificates made here, and a
// system-wide trust that Qt sees in the running process and that ends with the helper. A
// certificate that verifies when it should not would let those tests pass for the wrong reason.
class tst_TestTls : public QObject
{
    Q_OBJECT

private slots:
    void handshake_data();
    void handshake();
};

void tst_TestTls::handshake_data()
{
    QTest::addColumn<bool>("keepTrust");
    QTest::addColumn<QStringList>("altNames");
    QTest::addColumn<int>("fromDays");
    QTest::addColumn<int>("untilDays");
    QTest::addColumn<int>("firstError"); // QSslError::SslError

    const QStringList ip{"IP:127.0.0.1"};
    QTest::newRow("trusted") << true << ip << -1 << 2 << int(QSslError::NoError);
    QTest::newRow("trust ended") << false << ip << -1 << 2
                                 << int(QSslError::UnableToGetLocalIssuerCertificate);
    QTest::newRow("expired") << true << ip << -10 << -1 << int(QSslError::CertificateExpired);
    QTest::newRow("other name") << true << QStringList{"DNS:other.invalid"} << -1 << 2
                                << int(QSslError::HostNameMismatch);
}

void tst_TestTls::handshake()
{
#ifdef Q_OS_WIN
    QSKIP("the test authority is trusted through Debian's update-ca-certificates");
#endif
    QFETCH(bool, keepTrust);
    QFETCH(QStringList, altNames);
    QFETCH(int, fromDays);
    QFETCH(int, untilDays);
    QFETCH(int, firstError);
    QString reason;
    if (!TrustedCa::isAvailable(reason))
        QSKIP(qPrintable(reason));

    TestIdentity ca;
    TestIdentity leaf;
    QVERIFY2(makeTestCa(ca, reason), qPrintable(reason));
    QVERIFY2(makeTestLeaf(ca, altNames, fromDays, untilDays, leaf, reason), qPrintable(reason));
    auto trust = std::make_unique<TrustedCa>(ca.certificate);
    QVERIFY2(trust->isTrusted(), qPrintable(trust->errorText()));
    if (!keepTrust)
        trust.reset();

    CTestServer server;
    QVERIFY(server.isListening());
    QVERIFY(server.useTls(leaf.key, {leaf.certificate}));
    const QByteArray body = "sent in small pieces over TLS";
    server.setRoute("/a//b", TestResponse::ok(body).trickled(5, 10));

    QNetworkAccessManager manager;
    QNetworkReply *reply = manager.get(QNetworkRequest(server.url("/a//b")));
    QSignalSpy sslErrors(reply, &QNetworkReply::sslErrors);
    QSignalSpy finished(reply, &QNetworkReply::finished);
    QVERIFY(finished.wait(30000));

    if (firstError == QSslError::NoError) {
        QCOMPARE(reply->error(), QNetworkReply::NoError);
        QCOMPARE(reply->readAll(), body);
        QCOMPARE(server.requestedPaths(), QStringList{"/a//b"});
        return;
    }
    QCOMPARE(reply->error(), QNetworkReply::SslHandshakeFailedError);
    QCOMPARE(sslErrors.count(), 1);
    const auto errors = sslErrors.first().first().value<QList<QSslError>>();
    QVERIFY(!errors.isEmpty());
    QCOMPARE(int(errors.first().error()), firstError);
    QVERIFY(server.requestedPaths().isEmpty());
}

QTEST_MAIN(tst_TestTls)
#include "tst_testtls.moc"
