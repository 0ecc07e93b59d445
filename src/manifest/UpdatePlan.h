#pragma once

#include "FileList.h"

#include <QDir>

// The remote entries that must be fetched, judged by the saved list (update_md5.info in
// installDir) and, for paths it does not name, by the files' MD5 texts on disk. A path the saved
// list names with the remote MD5 text still counts as up to date only where a regular file (or a
// link to one) of the remote entry's size stands; nothing is read from it.
FileTable planUpdate(FileTable remote, QDir installDir);
