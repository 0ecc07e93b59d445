#include "InstanceGuard.h"

#include <QCoreApplication>
#include <QSharedMemory>

QString instanceGuardKey()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("update_singleton");
}

bool takeInstanceGuard(QSharedMemory &guard)
{
#ifndef Q_OS_WIN
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
    guard.create(1, QSharedMemory::ReadWrite);
    return true;
}
