#pragma once

#include <QString>

class QSharedMemory;

// One updater per updater directory: the key is that directory's path + "update_singleton".
QString instanceGuardKey();

// Takes the guard in `guard` (constructed by the caller, kept until the process ends).
// Returns false when another updater of the same directory holds it.
bool takeInstanceGuard(QSharedMemory &guard);
