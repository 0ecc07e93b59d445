#include "DownloadSink.h"

#include "Md5Text.h"
#include "StreamSha256.h"

#include <QFileInfo>
#include <QIODevice>
#include <QRandomGenerator>
#include <QStringList>

#ifdef Q_OS_LINUX
#include <fcntl.h>
#endif

const QString DownloadSink::NamePrefix = QStringLiteral(".update-download-");

DownloadSink::DownloadSink(const QDir &cacheDir, bool withSha256)
    : hash(QCryptographicHash::Md5), sha256(withSha256 ? std::make_unique<StreamSha256>() : nullptr)
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

void DownloadSink::append(const QByteArray &chunk)
{
    // Handed over first: when it is hashed on its own thread, that runs alongside the rest.
    if (sha256) {
        sha256->addData(chunk);
    }
    const qint64 length = chunk.size();
    hash.addData(chunk);
    received += length;
    if (writable && file.write(chunk) != length) {
        writable = false;
        // A full disk is the likely cause, so the partial copy goes at once.
        file.remove();
        created = false;
    }
    if (writable && received - writtenBack >= WriteBackBytes) {
        startWriteBack();
    }
}

// The installation flushes every file to the disk before it counts as installed. Starting
// that while the rest of the data still arrives makes the flush cost little.
void DownloadSink::startWriteBack()
{
#ifdef Q_OS_LINUX
    if (file.flush()) {
        ::sync_file_range(file.handle(), writtenBack, received - writtenBack,
                          SYNC_FILE_RANGE_WRITE);
    }
#endif
    writtenBack = received;
}

QByteArray DownloadSink::md5Text() const
{
    return md5TextFromDigest(hash.result());
}

QByteArray DownloadSink::sha256Text()
{
    return sha256 ? sha256->text() : QByteArray();
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
