#include "KeyFile.h"

#include "ShownPath.h"

#include <QFile>
#include <QFileInfo>

#ifndef Q_OS_WIN
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

// A PEM Ed25519 key is about 120 bytes; anything this large is not one.
constexpr qint64 MaxKeyFileSize = qint64(64) * 1024;

bool openNewPrivate(QFile &file, QString &errorText)
{
#ifdef Q_OS_WIN
    // The file takes the access rights of its folder, so the key belongs in a private folder.
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        errorText = QStringLiteral("cannot create %1: %2")
                        .arg(shownPath(file.fileName()), file.errorString());
        return false;
    }
    return true;
#else
    // Created with its final permissions: QFile would create it readable for others first and
    // restrict it only afterwards. O_EXCL also refuses a link, dangling or not.
    const int fd = ::open(QFile::encodeName(file.fileName()).constData(),
                          O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        errorText = QStringLiteral("cannot create %1: %2")
                        .arg(shownPath(file.fileName()), QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    if (!file.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        errorText = QStringLiteral("cannot write %1: %2")
                        .arg(shownPath(file.fileName()), file.errorString());
        return false;
    }
    return true;
#endif
}

} // namespace

bool createPrivateFile(const QString &path, const QByteArray &content, QString &errorText)
{
    const QFileInfo info(path);
    if (info.exists() || info.isSymLink()) {
        errorText =
            QStringLiteral("%1 already exists; it is never overwritten").arg(shownPath(path));
        return false;
    }
    QFile file(path);
    if (!openNewPrivate(file, errorText)) {
        return false;
    }
    if (file.write(content) != content.size() || !file.flush()) {
        errorText = QStringLiteral("cannot write %1: %2").arg(shownPath(path), file.errorString());
        file.close();
        file.remove();
        return false;
    }
    file.close();
    return true;
}

bool readKeyFile(const QString &path, QByteArray &content, QString &errorText)
{
    const QFileInfo info(path);
    if (!info.isFile()) {
        errorText =
            QStringLiteral("the key file %1 is missing or not a regular file").arg(shownPath(path));
        return false;
    }
    if (info.size() > MaxKeyFileSize) {
        errorText = QStringLiteral("%1 is too large to be a key file").arg(shownPath(path));
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        errorText = QStringLiteral("cannot read %1: %2").arg(shownPath(path), file.errorString());
        return false;
    }
    content = file.read(MaxKeyFileSize);
    return true;
}
