#pragma once

#include <QDir>
#include <QString>

#include <utility>

// Creates a new folder named `prefix` plus a random suffix in `parent` and returns its path.
bool createUniqueDirectory(const QDir &parent, const QString &prefix, QString &path,
                           QString &errorText);

// Removes a folder tree when it goes out of scope, unless released first: every early return
// of a failed run cleans up after itself.
class DirectoryRemover
{
public:
    explicit DirectoryRemover(QString path = QString()) : m_path(std::move(path)) {}
    ~DirectoryRemover();
    DirectoryRemover(const DirectoryRemover &) = delete;
    DirectoryRemover &operator=(const DirectoryRemover &) = delete;

    void reset(const QString &path) { m_path = path; }
    void release() { m_path.clear(); }
    // Removes it now; false when something is left behind.
    bool removeNow();

private:
    QString m_path;
};
