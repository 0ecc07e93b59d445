#pragma once

#include <QString>

// The folder of the running program, found before the application object exists (which
// QCoreApplication::applicationDirPath needs); empty when the system does not tell.
QString executableFolder();
