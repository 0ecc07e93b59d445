#include "PublishTestSupport.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

ToolRun runPublishTool(const QStringList &arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral(UPDATE_PUBLISH_EXE), arguments);
    ToolRun run;
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit) {
        run.output = QStringLiteral("update-publish did not finish: ") + process.errorString();
        return run;
    }
    run.exitCode = process.exitCode();
#ifdef Q_OS_WIN
    // Redirected, the tool writes UTF-8 whatever the ANSI code page.
    run.output = QString::fromUtf8(process.readAll());
#else
    run.output = QString::fromLocal8Bit(process.readAll());
#endif
    return run;
}

bool writeTestFile(const QDir &root, const QString &path, const QByteArray &data)
{
    const QString filePath = root.filePath(path);
    if (!QDir().mkpath(QFileInfo(filePath).path())) {
        return false;
    }
    QFile file(filePath);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(data) == data.size();
}

QMap<QString, QString> treeSnapshot(const QString &root)
{
    QMap<QString, QString> snapshot;
    const QDir base(root);
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        const QString key = base.relativeFilePath(info.filePath());
        if (info.isSymLink()) {
            snapshot.insert(key, QStringLiteral("link to ") + info.symLinkTarget());
        } else if (info.isDir()) {
            snapshot.insert(key, QStringLiteral("folder"));
        } else if (!info.isFile()) {
            snapshot.insert(key, QStringLiteral("special file"));
        } else {
            QFile file(info.filePath());
            const QByteArray data = file.open(QIODevice::ReadOnly) ? file.readAll() : "unreadable";
            snapshot.insert(
                key, QStringLiteral("%1 bytes, %2")
                         .arg(info.size())
                         .arg(QString::fromLatin1(
                             QCryptographicHash::hash(data, QCryptographicHash::Md5).toHex())));
        }
    }
    return snapshot;
}

QByteArray expectedMd5Text(const QByteArray &data)
{
    const QByteArray usual = QCryptographicHash::hash(data, QCryptographicHash::Md5).toHex();
    QByteArray text;
    for (int word = 0; word < 4; ++word) {
        for (int byte = 3; byte >= 0; --byte) {
            text += usual.mid(word * 8 + byte * 2, 2);
        }
    }
    return text;
}

QByteArray expectedSizeField(quint64 size)
{
    return QByteArray::number(size & 0xffffffffu, 16).rightJustified(8, '0') +
           QByteArray::number(size >> 32, 16).rightJustified(8, '0');
}

QMap<QString, QByteArray> treeContents(const QString &root)
{
    QMap<QString, QByteArray> contents;
    const QDir base(root);
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories | QDirIterator::FollowSymlinks);
    while (it.hasNext()) {
        QFile file(it.next());
        if (file.open(QIODevice::ReadOnly)) {
            contents.insert(base.relativeFilePath(file.fileName()), file.readAll());
        }
    }
    return contents;
}
