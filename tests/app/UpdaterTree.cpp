#include "UpdaterTree.h"

#include "HostStub.h"

#include <QFile>
#include <QFileInfo>

UpdaterTree::UpdaterTree(const QString &updaterFolder) : folder(updaterFolder)
{
    if (!rootDir.isValid())
        return;
    QDir dir = appDir();
    if (!dir.mkpath(QStringLiteral(".")))
        return;
    if (!QFile::copy(QStringLiteral(UPDATE_EXE), updaterPath()))
        return;

    if (!HostStub(hostPath()).write())
        return;
    valid = true;
}

QDir UpdaterTree::appDir() const
{
    const QDir base(QFileInfo(rootDir.path()).canonicalFilePath());
    return QDir(folder.isEmpty() ? base.path() : base.filePath(folder));
}

QString UpdaterTree::updaterPath() const
{
    return appDir().filePath(QStringLiteral("update"));
}

QString UpdaterTree::hostPath() const
{
    return appDir().filePath(QStringLiteral("Host.exe"));
}

void UpdaterTree::writeConfig(const QByteArray &ini) const
{
    QFile file(appDir().filePath(QStringLiteral("system.cfg")));
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(ini);
}

QProcessEnvironment UpdaterTree::environment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(extraEnvironment);
    return env;
}

void UpdaterTree::setEnvironmentVariable(const QString &name, const QString &value)
{
    extraEnvironment.insert(name, value);
}

UpdaterTree::Result UpdaterTree::run(const QStringList &arguments, const QString &workingDir,
                                     int timeoutMs) const
{
    QProcess process;
    process.setProcessEnvironment(environment());
    process.setWorkingDirectory(workingDir.isEmpty() ? root().path() : workingDir);
    process.start(updaterPath(), arguments);
    Result result;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        return result;
    }
    result.crashed = process.exitStatus() != QProcess::NormalExit;
    result.exitCode = process.exitCode();
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

QProcess *UpdaterTree::start(const QStringList &arguments) const
{
    auto *process = new QProcess;
    process->setProcessEnvironment(environment());
    process->setWorkingDirectory(root().path());
    process->start(updaterPath(), arguments);
    return process;
}

QStringList UpdaterTree::hostRecord() const
{
    return HostStub(hostPath()).record();
}
