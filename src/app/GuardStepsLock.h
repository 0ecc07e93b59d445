#pragma once

#include <QByteArray>
#include <QString>

// Lets one updater at a time through the steps that take the single-instance guard of `key`
// (non-Windows only). Qt's System V guard is several steps: a key file, a lock semaphore that
// these very steps create and remove again, and the segment. Updaters that take it at the same
// instant can each find no segment and both be let in, or leave that semaphore at zero so that
// every later updater waits for ever. This lock is an flock() on a file of its own in the
// temporary folder, which the system drops when its holder ends, however it ends; the holder
// removes the file before it lets go.
class GuardStepsLock
{
public:
    explicit GuardStepsLock(const QString &key);
    ~GuardStepsLock();
    GuardStepsLock(const GuardStepsLock &) = delete;
    GuardStepsLock &operator=(const GuardStepsLock &) = delete;

private:
    QByteArray path;
    int descriptor = -1;
};
