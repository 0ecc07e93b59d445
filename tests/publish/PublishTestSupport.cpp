#include "PublishTestSupport.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#ifdef Q_OS_WIN
#include <string>
#include <windows.h>

#include <aclapi.h>
#else
#include <sys/stat.h>
#endif

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

QStringList outputLines(const QString &output)
{
    QStringList lines = output.split(QLatin1Char('\n'));
    for (QString &line : lines) {
        if (line.endsWith(QLatin1Char('\r'))) {
            line.chop(1);
        }
    }
    return lines;
}

bool isOwnerOnly(const QString &path, QString &problem)
{
#ifdef Q_OS_WIN
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const std::wstring name = QDir::toNativeSeparators(path).toStdWString();
    if (GetNamedSecurityInfoW(name.c_str(), SE_FILE_OBJECT,
                              OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                              nullptr, &dacl, nullptr, &descriptor) != ERROR_SUCCESS) {
        problem = QStringLiteral("its security descriptor cannot be read");
        return false;
    }
    // Wine keeps no DACL of its own: it shows one made from the POSIX mode, never protected and
    // with full access for SYSTEM, so there only entries for anyone else tell a shared file.
    const bool wine = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    if (dacl == nullptr) {
        problem = QStringLiteral("it has no DACL, which lets everyone in");
    } else if (!wine && (!GetSecurityDescriptorControl(descriptor, &control, &revision) ||
                         (control & SE_DACL_PROTECTED) == 0)) {
        problem = QStringLiteral("its DACL takes what the folder hands down");
    }
    for (DWORD index = 0; problem.isEmpty() && index < dacl->AceCount; ++index) {
        void *ace = nullptr;
        const bool allows = GetAce(dacl, index, &ace) &&
                            static_cast<ACE_HEADER *>(ace)->AceType == ACCESS_ALLOWED_ACE_TYPE;
        const PSID sid = allows ? &static_cast<ACCESS_ALLOWED_ACE *>(ace)->SidStart : nullptr;
        if (!allows ||
            (!EqualSid(sid, owner) && !(wine && IsWellKnownSid(sid, WinLocalSystemSid)))) {
            problem = QStringLiteral("entry %1 of its DACL is not one for the owner").arg(index);
        }
    }
    LocalFree(descriptor);
    return problem.isEmpty();
#else
    struct stat info;
    if (::stat(QFile::encodeName(path).constData(), &info) != 0) {
        problem = QStringLiteral("stat() failed");
        return false;
    }
    if ((info.st_mode & 07777) != 0600) {
        problem = QStringLiteral("mode %1 instead of 600").arg(info.st_mode & 07777, 0, 8);
        return false;
    }
    return true;
#endif
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
        // <windows.h> declares a type named byte.
        for (int octet = 3; octet >= 0; --octet) {
            text += usual.mid(word * 8 + octet * 2, 2);
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
