#include "TrustedCa.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QUuid>

#ifndef Q_OS_WIN
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace {

const QString LocalCaDir = QStringLiteral("/usr/local/share/ca-certificates");
const QString CertsDir = QStringLiteral("/etc/ssl/certs");

// update-ca-certificates rewrites links that every test shares; two runs at once, from tests
// of this or another build tree, could drop each other's authority.
class SystemCaLock
{
public:
    SystemCaLock()
    {
#ifndef Q_OS_WIN
        fd = ::open("/tmp/update-test-ca.lock", O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (fd >= 0)
            ::flock(fd, LOCK_EX);
#endif
    }
    ~SystemCaLock()
    {
#ifndef Q_OS_WIN
        if (fd >= 0)
            ::close(fd);
#endif
    }
    SystemCaLock(const SystemCaLock &) = delete;
    SystemCaLock &operator=(const SystemCaLock &) = delete;

private:
    int fd = -1;
};

QString updateTool()
{
    return QStandardPaths::findExecutable(QStringLiteral("update-ca-certificates"),
                                          {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")});
}

bool runTool(QString &errorText)
{
    const QString tool = updateTool();
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(tool, QStringList());
    if (process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit &&
        process.exitCode() == 0)
        return true;
    errorText =
        QStringLiteral("%1 failed: %2 %3")
            .arg(tool, process.errorString(), QString::fromLocal8Bit(process.readAll()).trimmed());
    return false;
}

} // namespace

bool TrustedCa::isAvailable(QString &reason)
{
#ifdef Q_OS_WIN
    reason = QStringLiteral("trusting a test certificate authority needs Linux");
    return false;
#else
    if (!QFileInfo(LocalCaDir).isDir() || updateTool().isEmpty()) {
        reason =
            QStringLiteral("update-ca-certificates is not installed (package ca-certificates)");
        return false;
    }
    if (!QFileInfo(LocalCaDir).isWritable()) {
        reason = QStringLiteral("trusting a test certificate authority needs root");
        return false;
    }
    return true;
#endif
}

TrustedCa::TrustedCa(const QSslCertificate &ca)
{
    if (!isAvailable(error))
        return;
    const QString name =
        QStringLiteral("update-test-") + QUuid::createUuid().toString(QUuid::Id128);
    SystemCaLock lock;
    QFile file(QDir(LocalCaDir).filePath(name + QStringLiteral(".crt")));
    if (!file.open(QIODevice::WriteOnly) || file.write(ca.toPem()) < 0 || !file.flush()) {
        error = QStringLiteral("cannot write %1: %2").arg(file.fileName(), file.errorString());
        file.remove();
        return;
    }
    file.close();
    crtPath = file.fileName();
    trusted = runTool(error);
}

TrustedCa::~TrustedCa()
{
    if (crtPath.isEmpty())
        return;
    SystemCaLock lock;
    QFile::remove(crtPath);
    // Without the file, update-ca-certificates finds nothing changed and would keep the links to
    // it; they go first, by hand, and the tool then writes the bundle without the authority.
    const QString pem =
        QDir(CertsDir).filePath(QFileInfo(crtPath).completeBaseName() + QStringLiteral(".pem"));
    const QDir certs(CertsDir);
    for (const QFileInfo &link : certs.entryInfoList(QDir::System | QDir::Files)) {
        if (link.isSymLink() && link.symLinkTarget() == pem)
            QFile::remove(link.filePath());
    }
    QFile::remove(pem);
    QString ignored;
    runTool(ignored);
}
