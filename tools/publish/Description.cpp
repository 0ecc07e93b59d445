#include "Description.h"

#include "FileNames.h"
#include "OwnFileWrite.h"
#include "ShownPath.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>

namespace {

const QString TypeKey = QStringLiteral("Summary/UpdateType");
const QString FolderKey = QStringLiteral("Version/Folder");
const QString VersionKey = QStringLiteral("Version/Version");
const QString ConnectionsKey = QStringLiteral("Download/Connections");
const QString SerialKey = QStringLiteral("Version/Serial");
const QString ListSha256Key = QStringLiteral("Version/ListSha256");
const QString HashListSha256Key = QStringLiteral("Version/HashListSha256");
const QString ExpiresKey = QStringLiteral("Version/Expires");

} // namespace

bool descriptionText(const Description &description, QByteArray &text, QString &errorText)
{
    // QSettings writes only to a file of its own, so it writes a scratch copy that is read back.
    QTemporaryDir scratch;
    if (!scratch.isValid()) {
        errorText =
            QStringLiteral("cannot create a temporary folder: %1").arg(scratch.errorString());
        return false;
    }
    const QString path = scratch.filePath(DescriptionFileName);
    {
        QSettings settings(path, QSettings::IniFormat);
        settings.setValue(TypeKey, description.updateType);
        settings.setValue(FolderKey, description.folder);
        settings.setValue(VersionKey, description.version);
        if (!description.connections.isEmpty()) {
            settings.setValue(ConnectionsKey, description.connections);
        }
        if (description.isSigned) {
            settings.setValue(SerialKey, QString::number(description.serial));
            settings.setValue(ListSha256Key, QString::fromLatin1(description.listSha256));
            settings.setValue(HashListSha256Key, QString::fromLatin1(description.hashListSha256));
            if (!description.expires.isEmpty()) {
                settings.setValue(ExpiresKey, description.expires);
            }
        }
        settings.sync();
        if (settings.status() != QSettings::NoError) {
            errorText = QStringLiteral("cannot write %1").arg(shownPath(path));
            return false;
        }
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        errorText = QStringLiteral("cannot read %1: %2").arg(shownPath(path), file.errorString());
        return false;
    }
    text = file.readAll();
    return true;
}

bool writeDescriptionFile(const QString &path, const QByteArray &text, QString &errorText)
{
    QString reason;
    if (!writeOwnFile(path, text, reason)) {
        errorText = QStringLiteral("cannot write %1: %2").arg(shownPath(path), reason);
        return false;
    }
    return true;
}

bool readDescription(const QString &path, Description &description, QString &errorText)
{
    if (!QFileInfo(path).isFile()) {
        errorText = QStringLiteral("%1 is missing").arg(shownPath(path));
        return false;
    }
    QSettings settings(path, QSettings::IniFormat);
    if (settings.status() != QSettings::NoError) {
        errorText = QStringLiteral("%1 cannot be read as an INI file").arg(shownPath(path));
        return false;
    }
    const Description defaults;
    description.updateType = settings.value(TypeKey, defaults.updateType).toInt();
    description.folder = settings.value(FolderKey, defaults.folder).toString();
    description.version = settings.value(VersionKey, defaults.version).toString();
    description.connections = settings.value(ConnectionsKey).toString();
    description.isSigned = settings.contains(SerialKey) || settings.contains(ListSha256Key) ||
                           settings.contains(HashListSha256Key);
    description.serial = settings.value(SerialKey).toString().toULongLong();
    description.listSha256 = settings.value(ListSha256Key).toString().toLatin1();
    description.hashListSha256 = settings.value(HashListSha256Key).toString().toLatin1();
    description.expires = settings.value(ExpiresKey).toString();
    return true;
}
