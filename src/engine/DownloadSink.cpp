#include "DownloadSink.h"

#include "Md5Text.h"

#include <QFileInfo>
#include <QIODevice>
#include <QRandomGenerator>
#include <QStringList>

const QString DownloadSink::NamePrefix = QStringLiteral(".update-download-");

DownloadSink::DownloadSink(const QDir &cacheDir) : hash(QCryptographicHash::Md5)
{
    const QString suffix = QString::number(QRandomGenerator::global()->generate64(), 16);
    file.setFileName(cacheDir.filePath(NamePrefix + suffix));
    // NewOnly: a name that is taken belongs to someone else and must not be truncated.
    created = file.open(QIODevice::WriteOnly | QIODevice::NewOnly);
    writable = created;
}

DownloadSink::~DownloadSink()
{
    if (created && !placed) {
        file.remove();
    }
}

void DownloadSink::append(const char *data, qint64 length)
{
    hash.addData(data, static_cast<int>(length));
    received += length;
    if (writable && file.write(data, length) != length) {
        writable = false;
        // A full disk is the likely cause, so the partial copy goes at once.
        file.remove();
        created = false;
    }
}

QByteArray DownloadSink::md5Text() const
{
    return md5TextFromDigest(hash.result());
}

bool DownloadSink::moveTo(const QString &target)
{
    if (!writable || !file.flush()) {
        return false;
    }
    file.close();
    const QFileInfo place(target);
    if (!place.absoluteDir().exists()) {
        return false;
    }
    // QFile::rename never replaces an existing file.
    if (place.exists()) {
        QFile::remove(target);
    }
    placed = file.rename(target);
    return placed;
}

void DownloadSink::removeLeftovers(const QDir &cacheDir)
{
    const QStringList names = cacheDir.entryList(QStringList{NamePrefix + QLatin1Char('*')},
                                                 QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &name : names) {
        QFile::remove(cacheDir.filePath(name));
    }
}
