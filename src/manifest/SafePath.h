#pragma once

#include <QString>

// Whether a list path may be joined to the cache or installation directory: not empty, not
// absolute, no colon, no ".." component, and not the directory itself once cleaned. A backslash
// or NUL, which parsed lists never hold, is refused as well.
bool isSafeListPath(const QString &path);
