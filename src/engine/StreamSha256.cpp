#include "StreamSha256.h"

StreamSha256::~StreamSha256()
{
    {
        const std::lock_guard<std::mutex> lock(mutex);
        queue.clear();
    }
    stopThread();
}

void StreamSha256::addData(const QByteArray &chunk)
{
    if (!thread.joinable()) {
        if (inlineBytes + chunk.size() <= InlineBytes) {
            hash.addData(chunk.constData(), chunk.size());
            inlineBytes += chunk.size();
            return;
        }
        // Starting the thread publishes everything hashed so far to it.
        thread = std::thread(&StreamSha256::hashQueued, this);
    }
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [this] { return queue.size() < MaxQueued; });
    queue.push_back(chunk);
    changed.notify_all();
}

QByteArray StreamSha256::text()
{
    // Joining makes every chunk the thread hashed visible here.
    stopThread();
    return hash.text();
}

void StreamSha256::hashQueued()
{
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
        changed.wait(lock, [this] { return !queue.empty() || closed; });
        if (queue.empty()) {
            return;
        }
        const QByteArray chunk = queue.front();
        queue.pop_front();
        changed.notify_all();
        lock.unlock();
        hash.addData(chunk.constData(), chunk.size());
        lock.lock();
    }
}

void StreamSha256::stopThread()
{
    if (!thread.joinable()) {
        return;
    }
    {
        const std::lock_guard<std::mutex> lock(mutex);
        closed = true;
    }
    changed.notify_all();
    thread.join();
}
