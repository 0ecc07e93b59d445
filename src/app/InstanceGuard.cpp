#include "InstanceGuard.h"

#include <QCoreApplication>
#include <QSharedMemory>

#ifndef Q_OS_WIN
#include "GuardStepsLock.h"
#endif

QString instanceGuardKey()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("update_singleton");
}

bool takeInstanceGuard(QSharedMemory &guard)
{
#ifndef Q_OS_WIN
    const GuardStepsLock stepsLock(guard.key());
    // System V segments outlive a killed owner, which would block every later run. Attaching
    // and detaching releases a segment that nobody else is attached to, and leaves the
    // segment of a live updater alone.
    {
        QSharedMemory leftover(guard.key());
        if (leftover.attach(QSharedMemory::ReadOnly))
            leftover.detach();
    }
#endif
    if (guard.attach(QSharedMemory::ReadWrite) || guard.error() == QSharedMemory::AlreadyExists)
        return false;
    // An updater started at the same instant may have created the guard since attach failed.
    // Any other failure is the platform's (no shared memory, a key too long for it), and must
    // not keep every updater from running.
    return guard.create(1, QSharedMemory::ReadWrite) ||
           guard.error() != QSharedMemory::AlreadyExists;
}
