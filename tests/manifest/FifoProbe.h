#pragma once

#include <QDeadlineTimer>
#include <QFile>
#include <QStringList>
#include <QThread>

#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

inline bool makeFifo(const QString &path)
{
    return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
}

// Runs `work` on its own thread and reports whether it ended on its own. Code that opens one
// of the FIFOs for reading blocks until a writer appears, so after the deadline writers are
// attached and closed again until the thread ends: a blocked reader then sees the end of the
// data, and the test fails instead of hanging.
template<typename Work>
bool finishesWithoutFifoWriter(Work work, const QStringList &fifos, int timeoutMs = 5000)
{
    const std::unique_ptr<QThread> thread(QThread::create(work));
    thread->start();
    if (thread->wait(QDeadlineTimer(timeoutMs))) {
        return true;
    }
    do {
        for (const QString &fifo : fifos) {
            const int fd = ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0) {
                ::close(fd);
            }
        }
    } while (!thread->wait(QDeadlineTimer(100)));
    return false;
}
