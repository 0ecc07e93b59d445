#pragma once

#include <QDir>

// The highest Serial of a signed description that this installation has accepted, kept in the
// installation root as update_serial.info. 0 when none is recorded or the record is unreadable:
// only the updater writes it, and refusing every update over a damaged record would leave the
// installation stuck for good.
quint64 acceptedSerial(const QDir &installDir);

// Replaces the record atomically (a link in its place is replaced, not followed); false when it
// cannot be written.
bool recordAcceptedSerial(const QDir &installDir, quint64 serial);
