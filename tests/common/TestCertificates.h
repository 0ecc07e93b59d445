#pragma once

#include <QSslCertificate>
#include <QSslKey>
#include <QString>
#include <QStringList>

// Keys and X.509 certificates made in the test itself by libcrypto, so that a TLS test needs no
// fixture files that expire and no command-line tool.
//
//     TestIdentity ca, leaf;
//     QString error;
//     QVERIFY2(makeTestCa(ca, error), qPrintable(error));
//     QVERIFY2(makeTestLeaf(ca, {"IP:127.0.0.1"}, -1, 2, leaf, error), qPrintable(error));
//     server.useTls(leaf.key, {leaf.certificate});

// A private key (EC P-256) and the certificate for it.
struct TestIdentity
{
    QSslKey key;
    QSslCertificate certificate;
};

// A self-signed certificate authority. Every call gets a subject name of its own, so that tests
// running at the same time never trust or confuse each other's authorities.
bool makeTestCa(TestIdentity &ca, QString &errorText);

// A server certificate issued by `issuer` for the given subjectAltNames ("IP:127.0.0.1",
// "DNS:localhost", ...), valid from `fromDays` to `untilDays` days from now: (-1, 2) is valid
// now, (-10, -1) has expired.
bool makeTestLeaf(const TestIdentity &issuer, const QStringList &subjectAltNames, int fromDays,
                  int untilDays, TestIdentity &leaf, QString &errorText);
