#include "GuardStepsLock.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QThread>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Another updater holds the lock for a fraction of a millisecond. A holder that keeps it longer
// is not taking the guard, and must not keep this updater from running: past this, the steps
// run without the lock.
constexpr int LongestWaitMs = 2000;

QByteArray lockPathFor(const QString &key)
{
    const QByteArray digest =
        QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Sha1).toHex();
    return QFile::encodeName(
        QDir::temp().filePath(QStringLiteral("update_guard_%1.lock").arg(QLatin1String(digest))));
}

bool lockUntil(int descriptor, const QDeadlineTimer &deadline)
{
    while (::flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
        if ((errno != EWOULDBLOCK && errno != EINTR) || deadline.hasExpired()) {
            return false;
        }
        QThread::msleep(1);
    }
    return true;
}

// Whether the locked file is still the one at `path`: a holder removes it before letting go, and
// whoever waited on it must then lock the file that stands there now.
bool isStillAt(int descriptor, const QByteArray &path)
{
    struct stat opened = {};
    struct stat named = {};
    return ::fstat(descriptor, &opened) == 0 && ::lstat(path.constData(), &named) == 0 &&
           opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

} // namespace

GuardStepsLock::GuardStepsLock(const QString &key) : path(lockPathFor(key))
{
    const QDeadlineTimer deadline(LongestWaitMs);
    do {
        descriptor = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (descriptor < 0) {
            return;
        }
        const bool locked = lockUntil(descriptor, deadline);
        if (locked && isStillAt(descriptor, path)) {
            return;
        }
        ::close(descriptor);
        descriptor = -1;
        if (!locked) {
            return;
        }
    } while (!deadline.hasExpired());
}

GuardStepsLock::~GuardStepsLock()
{
    if (descriptor >= 0) {
        ::unlink(path.constData());
        ::close(descriptor);
    }
}
