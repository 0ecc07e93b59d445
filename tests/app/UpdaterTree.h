#pragma once

#include <QByteArray>
#include <QDir>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A throw-away installation for black-box runs: the built updater copied into a folder
// beside a system.cfg, and a host-application stub that records how it was started.
class UpdaterTree
{
public:
    // `updaterFolder` is relative to the installation root, e.g. "" or "bin".
    explicit UpdaterTree(const QString &updaterFolder = QString());

    bool isValid() const { return valid; }
    QDir root() const { return QDir(rootDir.path()); }
    QDir appDir() const;
    QString updaterPath() const;
    QString hostPath() const;

    void writeConfig(const QByteArray &ini) const;
    // Added to the environment of every later run.
    void setEnvironmentVariable(const QString &name, const QString &value);

    struct Result
    {
        int exitCode = -1;
        bool crashed = false;
        QByteArray out;
        QByteArray err;
    };
    // Runs the updater to its end (offscreen), in `workingDir` (default: the root).
    Result run(const QStringList &arguments, const QString &workingDir = QString(),
               int timeoutMs = 60000) const;
    // Starts the updater and leaves it running; the caller owns the process.
    QProcess *start(const QStringList &arguments) const;

    // The host stub's record: its working directory, then its arguments; empty until started.
    QStringList hostRecord() const;
    bool hostStarted() const { return !hostRecord().isEmpty(); }

private:
    QProcessEnvironment environment() const;

    QTemporaryDir rootDir;
    QString folder;
    QProcessEnvironment extraEnvironment;
    bool valid = false;
};
