#pragma once

#include "Sha256Text.h"

#include <QByteArray>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

// The SHA-256 text of a download, computed as its chunks arrive. Past the first InlineBytes the
// hashing moves to a thread of its own, so that the MD5 text, the file writes and the network,
// all on the GUI thread, do not wait for it: with a second core the extra hash costs a large
// download almost no time, while a small file is not worth starting a thread for. Chunks are
// shared with the thread, not copied; at most MaxQueued of them wait, so memory stays bounded
// when the hash falls behind.
class StreamSha256
{
public:
    static constexpr qint64 InlineBytes = qint64(1024) * 1024;
    static constexpr size_t MaxQueued = 32;

    StreamSha256() = default;
    // Stops the thread; chunks still waiting are dropped.
    ~StreamSha256();
    StreamSha256(const StreamSha256 &) = delete;
    StreamSha256 &operator=(const StreamSha256 &) = delete;

    void addData(const QByteArray &chunk);
    // Waits until every chunk is hashed. Nothing can be added after this.
    QByteArray text();

private:
    void hashQueued();
    void stopThread();

    Sha256Hash hash; // the thread's alone while it runs
    qint64 inlineBytes = 0;

    std::mutex mutex;
    std::condition_variable changed;
    std::deque<QByteArray> queue;
    bool closed = false;
    std::thread thread;
};
