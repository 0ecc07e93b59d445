#pragma once

#include "FileList.h"
#include "SavedList.h"

#include <QDir>

// The remote entries that must be fetched, judged by the saved list (update_md5.info in
// installDir) and, for paths it does not name, by the files on disk.
FileTable planUpdate(FileTable remote, QDir installDir);

// The same with a saved list read earlier, whose look at the disk may still be under way.
FileTable planUpdate(const FileTable &remote, const QDir &installDir, SavedList &saved);
