#include "EngineSandbox.h"

#include "Md5Text.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <climits>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Removes what lies below the open directory fd, by names relative to it, so depth is no limit.
bool removeBelow(int fd)
{
    const int copy = ::dup(fd);
    DIR *listing = copy >= 0 ? ::fdopendir(copy) : nullptr;
    if (!listing) {
        if (copy >= 0) {
            ::close(copy);
        }
        return false;
    }
    bool ok = true;
    while (dirent *item = ::readdir(listing)) {
        const QByteArray name(item->d_name);
        if (name == "." || name == "..") {
            continue;
        }
        struct stat info;
        if (::fstatat(fd, name.constData(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
            ok = false;
        } else if (S_ISDIR(info.st_mode)) {
            const int child = ::openat(fd, name.constData(), O_RDONLY | O_DIRECTORY);
            ok = child >= 0 && removeBelow(child) && ok;
            if (child >= 0) {
                ::close(child);
            }
            ok = ::unlinkat(fd, name.constData(), AT_REMOVEDIR) == 0 && ok;
        } else {
            ok = ::unlinkat(fd, name.constData(), 0) == 0 && ok;
        }
    }
    ::closedir(listing);
    return ok;
}

} // namespace

FileEntry entryFor(const QString &path, const QByteArray &content)
{
    return FileEntry{path, static_cast<quint64>(content.size()), md5Text(content)};
}

bool writeFile(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(content) == content.size();
}

FileTree readTree(const QDir &dir)
{
    FileTree tree;
    QDirIterator it(dir.absolutePath(), QDir::Files | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile file(path);
        tree.insert(dir.relativeFilePath(path),
                    file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>"));
    }
    return tree;
}

bool writeTree(const QDir &dir, const FileTree &tree)
{
    for (auto it = tree.cbegin(); it != tree.cend(); ++it) {
        if (!writeFile(dir.filePath(it.key()), it.value())) {
            return false;
        }
    }
    return true;
}

bool makeTooDeepTree(const QString &dir)
{
    if (!QDir().mkpath(dir)) {
        return false;
    }
    int fd = ::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY);
    const QByteArray name(200, 'd');
    for (int depth = 0; fd >= 0 && depth * (name.size() + 1) <= PATH_MAX; ++depth) {
        const int next = ::mkdirat(fd, name.constData(), 0700) == 0
                             ? ::openat(fd, name.constData(), O_RDONLY | O_DIRECTORY)
                             : -1;
        ::close(fd);
        fd = next;
    }
    if (fd < 0) {
        return false;
    }
    const int file = ::openat(fd, "bottom.txt", O_CREAT | O_WRONLY, 0600);
    ::close(fd);
    return file >= 0 && ::close(file) == 0;
}

EngineSandbox::EngineSandbox()
    : rootDir(root.path()), cache(rootDir.filePath("cache")), install(rootDir.filePath("install"))
{
    rootDir.mkpath("cache");
    rootDir.mkpath("install");
}

EngineSandbox::~EngineSandbox()
{
    // QTemporaryDir removes by path and would leave a too-deep tree behind.
    const int fd = ::open(QFile::encodeName(root.path()).constData(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        removeBelow(fd);
        ::close(fd);
    }
}

bool EngineSandbox::isReady() const
{
    return root.isValid() && cache.exists() && install.exists() && server.isListening();
}

QString EngineSandbox::baseUrl() const
{
    return server.baseUrl() + "/v/";
}

void EngineSandbox::serve(const QString &path, const TestResponse &response)
{
    server.setRoute("/v/" + path, response);
}

void EngineSandbox::serve(const QString &path, const QByteArray &content)
{
    serve(path, TestResponse::ok(content));
}

std::unique_ptr<CDownloadThread> EngineSandbox::worker(const QList<FileEntry> &files,
                                                       int stallTimeoutMs, const QString &cacheDir)
{
    TransferLimits limits = CDownloadThread::defaultLimits();
    limits.silenceMs = stallTimeoutMs;
    return std::make_unique<CDownloadThread>(baseUrl(), cacheDir.isEmpty() ? cache : QDir(cacheDir),
                                             install, files, nullptr, limits);
}

bool runToEnd(CDownloadThread &worker, int timeoutMs)
{
    int finishedCount = 0;
    QObject receiver;
    QObject::connect(&worker, &QThread::finished, &receiver, [&finishedCount] { ++finishedCount; });
    worker.start();
    return QTest::qWaitFor([&finishedCount] { return finishedCount > 0; }, timeoutMs);
}
