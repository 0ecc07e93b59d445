#pragma once

#include <QByteArray>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QString>

#include <memory>

class StreamSha256;

// One download on its way into the cache: the bytes go to a temporary file in the cache
// directory and are hashed and counted as they arrive, so a file of any size needs only a
// small buffer. The temporary file is removed unless moveTo() placed it.
class DownloadSink
{
public:
    // Marks the updater's own temporary files; a run that was killed may leave some behind.
    static const QString NamePrefix;

    // withSha256: the data's SHA-256 text is wanted too (a signed publication's file).
    explicit DownloadSink(const QDir &cacheDir, bool withSha256 = false);
    ~DownloadSink();
    DownloadSink(const DownloadSink &) = delete;
    DownloadSink &operator=(const DownloadSink &) = delete;

    // Counting and hashing go on when the file cannot be written, so that the size and the
    // MD5 text can still be judged before the write failure is reported.
    void append(const QByteArray &chunk);
    qint64 size() const { return received; }
    QByteArray md5Text() const;
    // Empty unless asked for at construction.
    QByteArray sha256Text();

    // Replaces whatever file is at target with the received data. False when the temporary
    // file could not be created or written, or cannot be moved there.
    bool moveTo(const QString &target);

    static void removeLeftovers(const QDir &cacheDir);

private:
    static constexpr qint64 WriteBackBytes = qint64(8) * 1024 * 1024;

    void startWriteBack();

    QFile file;
    QCryptographicHash hash;
    std::unique_ptr<StreamSha256> sha256;
    qint64 received = 0;
    qint64 writtenBack = 0;
    bool created = false;
    bool writable = false;
    bool placed = false;
};
