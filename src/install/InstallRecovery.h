#pragma once

#include "DiskActions.h"
#include "StepFailure.h"

#include <QDir>

// Brings an installation whose installation step was cut short (a crash, a power cut, a
// failure whose undo failed too) back to one version, before anything else looks at it:
// forward when every file of the step is already in place, back otherwise. True when there was
// nothing to do or it is done; false, with the text of what failed, leaves the journal for
// the next attempt. A journal that cannot be read is removed together with the saved list, so
// that the next check compares the files themselves.
bool recoverInstallation(const QDir &installDir, StepFailure &failure,
                         FaultSeam seam = FaultSeam());
