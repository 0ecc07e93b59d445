// Times planUpdate over a directory whose files all match their list entries, so that every
// file is opened and hashed and nothing is planned.

#include "FileListWriter.h"
#include "FileNames.h"
#include "Md5Text.h"
#include "UpdatePlan.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QTextStream>

namespace {

QTextStream &err()
{
    static QTextStream stream(stderr);
    return stream;
}

FileTable tableFromFiles(const QDir &dir)
{
    FileTable table;
    QDirIterator it(dir.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString relative = dir.relativeFilePath(path);
        QFile file(path);
        QCryptographicHash hash(QCryptographicHash::Md5);
        if (relative == SavedListFileName || !file.open(QIODevice::ReadOnly) ||
            !hash.addData(&file)) {
            continue;
        }
        table.insert(relative, {relative, quint64(file.size()), md5TextFromDigest(hash.result())});
    }
    return table;
}

bool readList(const QString &listPath, FileTable &table)
{
    QFile file(listPath);
    if (!file.open(QIODevice::ReadOnly)) {
        err() << "cannot read " << listPath << ": " << file.errorString() << Qt::endl;
        return false;
    }
    table = parseFileList(file.readAll());
    return true;
}

bool writeList(const FileTable &table, const QString &listPath)
{
    QByteArray text;
    QString error;
    if (!writeFileList(table, text, error)) {
        err() << error << Qt::endl;
        return false;
    }
    QFile file(listPath);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size()) {
        err() << "cannot write " << listPath << ": " << file.errorString() << Qt::endl;
        return false;
    }
    return true;
}

int plan(const QDir &dir, const FileTable &remote)
{
    QElapsedTimer timer;
    timer.start();
    const FileTable planned = planUpdate(remote, dir);
    const qint64 elapsed = timer.elapsed();
    QTextStream(stdout) << remote.size() << " files, " << planned.size() << " planned, " << elapsed
                        << " ms" << Qt::endl;
    // Anything planned means a file was not hashed to its listed text: the timing is void.
    return planned.isEmpty() ? 0 : 1;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() == 3 && args.at(0) == QLatin1String("--write-list")) {
        return writeList(tableFromFiles(QDir(args.at(1))), args.at(2)) ? 0 : 2;
    }
    if (args.size() == 2) {
        FileTable remote;
        return readList(args.at(1), remote) ? plan(QDir(args.at(0)), remote) : 2;
    }
    if (args.size() == 1) {
        const QDir dir(args.at(0));
        return plan(dir, tableFromFiles(dir));
    }
    err() << "usage: bench_plan DIR [LIST]\n"
             "       bench_plan --write-list DIR LIST\n"
             "Without LIST the table is built by hashing DIR first; only planUpdate is timed."
          << Qt::endl;
    return 2;
}
