#include "Directories.h"

void ensureDirectory(QDir &dir)
{
    if (dir.isRelative())
        dir.makeAbsolute();
    if (!dir.exists())
        dir.mkpath(dir.absolutePath());
}

QDir installRootFor(const QDir &appDir)
{
    QDir root = appDir;
    if (root.dirName().compare(QLatin1String("bin"), Qt::CaseInsensitive) == 0)
        root.cdUp();
    return root;
}
