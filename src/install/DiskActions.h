#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>

// What a test makes of one step of the installation: let it happen, let it fail as the system
// would, or stop the process dead before it (a crash or a power cut).
enum class Fault
{
    None,
    Fail,
    Crash,
};

// Called before each step with its number, counted from 1.
using FaultSeam = std::function<Fault(int step)>;

// Every change the installation step and its recovery make to the disk goes through here, one
// call a step, so that a test can fail or stop any single one of them. After a stop nothing
// more happens: every later call fails without touching the disk.
class DiskActions
{
public:
    explicit DiskActions(FaultSeam seam = FaultSeam());

    bool rename(const QString &from, const QString &to);
    bool copy(const QString &from, const QString &to);
    bool syncFiles(const QStringList &paths);
    bool makeFolder(const QString &path);
    bool removeEmptyFolder(const QString &path);
    bool removeTree(const QString &path);
    // Replaces the file at `path` atomically with `bytes`, flushed to the disk.
    bool writeWhole(const QString &path, const QByteArray &bytes, QString &errorText);

    bool stopped() const;

private:
    bool mayProceed();

    FaultSeam faultSeam;
    int stepsTaken = 0;
    bool hasStopped = false;
};
