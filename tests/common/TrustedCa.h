#pragma once

#include <QSslCertificate>
#include <QString>

// Trusts a certificate authority system-wide for as long as the object lives, the way an
// administrator would on Debian: its PEM goes to /usr/local/share/ca-certificates and
// update-ca-certificates links it into /etc/ssl/certs, where Qt finds it by its subject hash
// when a handshake asks for it, even in a process that started before. The destructor takes the
// authority out again. Needs root and Debian's ca-certificates; elsewhere (Windows included)
// isTrusted() is false and errorText() says why, for the test's QSKIP.
class TrustedCa
{
public:
    explicit TrustedCa(const QSslCertificate &ca);
    ~TrustedCa();
    TrustedCa(const TrustedCa &) = delete;
    TrustedCa &operator=(const TrustedCa &) = delete;

    // Whether this machine can trust an authority at all; if not, why not.
    static bool isAvailable(QString &reason);

    bool isTrusted() const { return trusted; }
    QString errorText() const { return error; }

private:
    QString crtPath;
    bool trusted = false;
    QString error;
};
