#include "DiskActions.h"

#include "FileMoves.h"
#include "OwnFileWrite.h"

#include <QDir>

#include <utility>

DiskActions::DiskActions(FaultSeam seam) : faultSeam(std::move(seam)) {}

bool DiskActions::mayProceed()
{
    if (hasStopped) {
        return false;
    }
    const Fault fault = faultSeam ? faultSeam(++stepsTaken) : Fault::None;
    hasStopped = fault == Fault::Crash;
    return fault == Fault::None;
}

bool DiskActions::stopped() const
{
    return hasStopped;
}

bool DiskActions::rename(const QString &from, const QString &to)
{
    return mayProceed() && renamePath(from, to);
}

bool DiskActions::copy(const QString &from, const QString &to)
{
    return mayProceed() && copyFile(from, to);
}

bool DiskActions::syncFiles(const QStringList &paths)
{
    return mayProceed() && ::syncFiles(paths);
}

bool DiskActions::makeFolder(const QString &path)
{
    return mayProceed() && QDir().mkdir(path);
}

bool DiskActions::removeEmptyFolder(const QString &path)
{
    return mayProceed() && QDir().rmdir(path);
}

bool DiskActions::removeTree(const QString &path)
{
    return mayProceed() && ::removeTree(path);
}

bool DiskActions::writeWhole(const QString &path, const QByteArray &bytes, QString &errorText)
{
    if (!mayProceed()) {
        errorText = QStringLiteral("Input/output error");
        return false;
    }
    return writeOwnFile(path, bytes, errorText);
}
