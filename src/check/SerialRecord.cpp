#include "SerialRecord.h"

#include "FileNames.h"
#include "OwnFileWrite.h"

#include <QFile>
#include <QFileInfo>

quint64 acceptedSerial(const QDir &installDir)
{
    const QString path = installDir.absoluteFilePath(SerialFileName);
    // A FIFO in its place must not stall the check.
    if (!QFileInfo(path).isFile())
        return 0;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    bool ok = false;
    const quint64 serial = file.read(64).trimmed().toULongLong(&ok);
    return ok ? serial : 0;
}

bool recordAcceptedSerial(const QDir &installDir, quint64 serial)
{
    QString errorText;
    return writeOwnFile(installDir.absoluteFilePath(SerialFileName),
                        QByteArray::number(serial) + '\n', errorText);
}
