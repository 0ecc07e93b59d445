#pragma once

#include <QByteArray>
#include <QTemporaryFile>
#include <QtGlobal>

#include <cstdio>
#ifdef Q_OS_WIN
#include <io.h>
#else
#include <unistd.h>
#endif

// Collects what the code under test writes to the process's standard output.
class StdoutCapture
{
public:
    StdoutCapture()
    {
        file.open();
        std::fflush(stdout);
        saved = duplicate(outputFd());
        duplicateTo(file.handle(), outputFd());
    }
    ~StdoutCapture() { release(); }

    QByteArray text()
    {
        release();
        file.seek(0);
        return file.readAll();
    }

private:
    // The C runtime of MSVC has only the underscored names; its POSIX names are
    // deprecated.
#ifdef Q_OS_WIN
    static int outputFd()
    {
        return _fileno(stdout);
    }
    static int duplicate(int fd)
    {
        return _dup(fd);
    }
    static int duplicateTo(int fd, int target)
    {
        return _dup2(fd, target);
    }
    static int closeFd(int fd)
    {
        return _close(fd);
    }
#else
    static int outputFd()
    {
        return STDOUT_FILENO;
    }
    static int duplicate(int fd)
    {
        return dup(fd);
    }
    static int duplicateTo(int fd, int target)
    {
        return dup2(fd, target);
    }
    static int closeFd(int fd)
    {
        return close(fd);
    }
#endif

    void release()
    {
        if (saved < 0)
            return;
        std::fflush(stdout);
        duplicateTo(saved, outputFd());
        closeFd(saved);
        saved = -1;
    }

    QTemporaryFile file;
    int saved = -1;
};
