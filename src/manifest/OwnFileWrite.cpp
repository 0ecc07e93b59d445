#include "OwnFileWrite.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

bool writeOwnFile(const QString &path, const QByteArray &data, QString &errorText)
{
    // QSaveFile would write through the link to its target.
    if (QFileInfo(path).isSymLink())
        QFile::remove(path);
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
