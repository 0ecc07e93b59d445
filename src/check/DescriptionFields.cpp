#include "DescriptionFields.h"

#include "UserTexts.h"

#include <QSettings>
#include <QTemporaryFile>

DescriptionFields readDescriptionFields(const QString &path)
{
    const QSettings description(path, QSettings::IniFormat);
    DescriptionFields fields;
    fields.updateType =
        description.value(QStringLiteral("Summary/UpdateType"), fields.updateType).toInt();
    fields.folder = description.value(QStringLiteral("Version/Folder"), fields.folder).toString();
    fields.version = description.value(QStringLiteral("Version/Version")).toString();
    bool valid = false;
    const int connections =
        description.value(QStringLiteral("Download/Connections")).toString().toInt(&valid);
    if (valid && connections >= 1) {
        fields.connections = connections;
    }
    return fields;
}

bool readDescriptionFields(const QByteArray &bytes, const QDir &scratchDir,
                           DescriptionFields &fields, QString &failureText)
{
    QTemporaryFile file(scratchDir.absoluteFilePath(QStringLiteral(".update-description-XXXXXX")));
    if (!file.open() || file.write(bytes) != bytes.size() || !file.flush()) {
        const QString name = file.fileName().isEmpty() ? file.fileTemplate() : file.fileName();
        failureText = userText(UserText::CreateFileFailed).arg(name, file.errorString());
        return false;
    }
    // Closed, not removed: QSettings opens it by name, on Windows too.
    file.close();
    fields = readDescriptionFields(file.fileName());
    return true;
}
