#pragma once

#include "FileList.h"

#include <QByteArray>
#include <QDir>

#include <thread>
#include <vector>

// The saved list of the last applied update (update_md5.info in the installation root) and a
// look at every file it names: whether it still stands there as a regular file, and its size.
// Parsing the list and the look, one stat a file, run on a thread of their own from
// construction on, so that they overlap with whatever the caller does meanwhile.
class SavedList
{
public:
    explicit SavedList(const QDir &installDir);
    ~SavedList();
    SavedList(const SavedList &) = delete;
    SavedList &operator=(const SavedList &) = delete;

    // Whether the list holds exactly these bytes; then its entries are their parse. Does not wait.
    bool holds(const QByteArray &listBytes) const { return bytes == listBytes; }
    // Whether this looks at `installDir` and its saved list still holds the bytes read at
    // construction. Does not wait.
    bool stillCurrent(const QDir &installDir) const;

    // These wait for the look to finish.
    const FileTable &entries();
    // The size of the regular file of the position-th entry, in path order; -1 when no regular
    // file stands there or the path is unsafe.
    qint64 sizeOnDisk(int position);

private:
    void look();
    void finish();

    const QDir root;
    const QByteArray bytes;
    FileTable table;
    std::vector<qint64> sizes;
    // Last: it starts at construction and uses the members above.
    std::thread lead;
};
