#pragma once

#include <QString>

// A path quoted for a message, with control characters, quotes and backslashes spelled out, so
// that a name holding a line break can neither split nor forge an output line.
QString shownPath(const QString &path);
