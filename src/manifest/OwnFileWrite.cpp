#include "OwnFileWrite.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {

// Reading costs less than writing and flushing to the disk, and an up-to-date check would
// otherwise rewrite the same list on every run.
bool alreadyHolds(const QFileInfo &info, const QByteArray &data)
{
    if (!info.isFile() || info.size() != data.size())
        return false;
    QFile file(info.filePath());
    return file.open(QIODevice::ReadOnly) && file.readAll() == data;
}

} // namespace

bool writeOwnFile(const QString &path, const QByteArray &data, QString &errorText)
{
    const QFileInfo info(path);
    // QSaveFile would write through the link to its target.
    if (info.isSymLink())
        QFile::remove(path);
    else if (alreadyHolds(info, data))
        return true;
    QSaveFile file(path);
    // Unbuffered, so that a failing write fails write() itself: Qt 5's commit() does not notice
    // when the flush of buffered data fails (a full volume), and would put an empty file in
    // place.
    if (file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) &&
        file.write(data) == data.size() && file.commit())
        return true;
    errorText = file.errorString();
    return false;
}
