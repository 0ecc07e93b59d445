#pragma once

#include <QString>

// Whether a list path may be joined to the cache or installation directory: not empty, not
// absolute, no colon, no ".." component, and not the directory itself once cleaned.
bool isSafeListPath(const QString &path);
