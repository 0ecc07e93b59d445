#pragma once

#include "FileList.h"

#include <QDir>

// The remote entries that must be fetched, judged by the saved list (update_md5.info in
// installDir) and, for paths it does not name, by the files on disk.
FileTable planUpdate(FileTable remote, QDir installDir);
