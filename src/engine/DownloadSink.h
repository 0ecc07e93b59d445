#pragma once

#include "FileList.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QList>
#include <QString>

#include <memory>

class StreamSha256;

// One listed file on its way into the cache: the bytes go to a partial copy in the cache
// directory and are hashed and counted as they arrive, so a file of any size needs only a small
// buffer. The copy's name follows from the entry, so that an attempt that failed or was killed
// leaves it where the next one looks; beside it lies the validator of the answer it came from,
// without which it is never continued.
class DownloadSink
{
public:
    // Marks the updater's own temporary files; a run that was killed may leave some behind.
    static const QString NamePrefix;

    // Carries on from the partial copy an earlier attempt left, when it has a validator and is
    // not longer than the entry: its bytes are read back into the digests. Anything else at its
    // place goes, a link or folder included (never followed), and the copy starts empty.
    DownloadSink(const QDir &cacheDir, const FileEntry &entry);
    // Keeps a copy that a later attempt can continue (validator, some but not all of the
    // bytes), unless it was placed or discarded; removes any other.
    ~DownloadSink();
    DownloadSink(const DownloadSink &) = delete;
    DownloadSink &operator=(const DownloadSink &) = delete;

    // The bytes of an earlier attempt this copy goes on from; 0 when it starts from nothing.
    qint64 resumedFrom() const { return resumed; }
    QByteArray validator() const { return validatorText; }

    // Whether an answer's body has been taken, by one of the two calls below.
    bool isSettled() const { return settled; }
    // The answer brings the whole file: the earlier bytes go and the digests start again. An
    // empty validator means the copy is not kept past a failure.
    void takeWholeFile(const QByteArray &validator);
    // The answer brings the rest of the copy.
    void takeRest();
    // Starts again from nothing, without a validator, before any answer.
    void dropEarlierBytes();

    // Counting and hashing go on when the file cannot be written, so that the size and the
    // MD5 text can still be judged before the write failure is reported.
    void append(const QByteArray &chunk);
    qint64 size() const { return received; }
    QByteArray md5Text() const;
    // Empty unless the entry lists a SHA-256 text.
    QByteArray sha256Text();
    // The listed MD5 text, and the SHA-256 text when the entry lists one: MD5 alone is no
    // protection against a file made to collide with the listed one.
    bool matches(const FileEntry &entry);

    // Replaces whatever file is at target with the received data. False when the copy could
    // not be created or written, or cannot be moved there.
    bool moveTo(const QString &target);
    // Removes the copy now: what it holds is of no use to a later attempt.
    void discard();

    // Removes every temporary file of the updater in the cache directory except the partial
    // copies of `entries` and their validators.
    static void removeLeftovers(const QDir &cacheDir, const QList<FileEntry> &entries);

private:
    static constexpr qint64 WriteBackBytes = qint64(8) * 1024 * 1024;

    void readBack(qint64 length);
    void startOver(const QByteArray &validator);
    void startWriteBack();

    QFile file;
    QString validatorPath;
    QByteArray validatorText;
    const qint64 total;
    QCryptographicHash hash;
    const bool withSha256;
    std::unique_ptr<StreamSha256> sha256;
    qint64 received = 0;
    qint64 resumed = 0;
    qint64 writtenBack = 0;
    bool writable = false;
    bool settled = false;
    bool placed = false;
    bool discarded = false;
};
