#pragma once

#include <QString>

enum class ListPathVerdict
{
    Usable,
    // Empty, absolute, holding a colon or a ".." component, or the directory itself once
    // cleaned. A backslash or NUL, which parsed lists never hold, counts here as well.
    Unsafe,
    // One of the installation step's own names: a component ending in StagedSuffix or
    // BackupSuffix, or JournalFileName once cleaned, in any letter case (Windows names are).
    Reserved,
};

// What a list path may be used for, judged in one pass over its characters.
ListPathVerdict judgeListPath(const QString &path);

// Whether a list path may be joined to the cache or installation directory.
inline bool isSafeListPath(const QString &path)
{
    return judgeListPath(path) == ListPathVerdict::Usable;
}
