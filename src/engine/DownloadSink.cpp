#include "DownloadSink.h"

#include "FileChunks.h"
#include "FileMoves.h"
#include "Md5Text.h"
#include "StreamSha256.h"

#include <QFileInfo>
#include <QIODevice>
#include <QSet>
#include <QStringList>

#ifdef Q_OS_LINUX
#include <fcntl.h>
#endif

const QString DownloadSink::NamePrefix = QStringLiteral(".update-download-");

namespace {

const QString ValidatorSuffix = QStringLiteral(".tag");
// A validator is one header value; a longer file, or one with control characters, was not
// written by this code and must not reach a request header.
constexpr qint64 MaxValidatorBytes = 1024;
// Below this a file is fetched whole again: that costs less than keeping a validator beside
// every small download.
constexpr qint64 ResumableBytes = qint64(256) * 1024;

QString copyName(const FileEntry &entry)
{
    QCryptographicHash key(QCryptographicHash::Sha256);
    key.addData(entry.path.toUtf8() + '\n' + QByteArray::number(entry.size) + '\n' + entry.md5);
    return DownloadSink::NamePrefix + QString::fromLatin1(key.result().toHex().left(16));
}

QByteArray readValidator(const QString &path)
{
    const QFileInfo info(path);
    QFile file(path);
    if (isLink(info) || !info.isFile() || !file.open(QIODevice::ReadOnly)) {
        return QByteArray();
    }
    QByteArray text = file.read(MaxValidatorBytes + 1);
    if (text.size() > MaxValidatorBytes) {
        return QByteArray();
    }
    for (const char c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
            return QByteArray();
        }
    }
    return text;
}

// NewOnly: whatever stood at the place was removed before, so a link that appears meanwhile
// is not written through.
bool writeValidator(const QString &path, const QByteArray &validator)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::NewOnly) &&
           file.write(validator) == validator.size() && file.flush();
}

} // namespace

DownloadSink::DownloadSink(const QDir &cacheDir, const FileEntry &entry)
    : total(static_cast<qint64>(entry.size)), hash(QCryptographicHash::Md5),
      withSha256(!entry.sha256.isEmpty()),
      sha256(withSha256 ? std::make_unique<StreamSha256>() : nullptr)
{
    file.setFileName(cacheDir.filePath(copyName(entry)));
    validatorPath = file.fileName() + ValidatorSuffix;
    const QFileInfo place(file.fileName());
    if (isPresent(place) && (isLink(place) || !place.isFile())) {
        removeTree(file.fileName());
    }
    writable = file.open(QIODevice::ReadWrite);
    const QByteArray earlier = readValidator(validatorPath);
    const qint64 present = writable ? file.size() : 0;
    if (!earlier.isEmpty() && present > 0 && present <= total) {
        validatorText = earlier;
        readBack(present);
    } else {
        startOver(QByteArray());
    }
}

DownloadSink::~DownloadSink()
{
    const bool continuable =
        writable && !validatorText.isEmpty() && received > 0 && received < total;
    if (placed || (continuable && !discarded)) {
        return;
    }
    file.remove();
    QFile::remove(validatorPath);
}

// In bounded chunks, so that continuing a copy of any size needs only a small buffer.
void DownloadSink::readBack(qint64 length)
{
    while (received < length) {
        const QByteArray chunk = file.read(qMin(FileChunkBytes, length - received));
        if (chunk.isEmpty()) {
            startOver(QByteArray());
            return;
        }
        if (sha256) {
            sha256->addData(chunk);
        }
        hash.addData(chunk);
        received += chunk.size();
    }
    resumed = received;
    writtenBack = received;
}

// The old validator goes before the bytes, and the new one comes after them: a killed process
// must never leave bytes beside a validator they do not belong to.
void DownloadSink::startOver(const QByteArray &validator)
{
    if (!removeTree(validatorPath)) {
        writable = false;
        file.remove();
    }
    hash.reset();
    sha256 = withSha256 ? std::make_unique<StreamSha256>() : nullptr;
    received = 0;
    resumed = 0;
    writtenBack = 0;
    if (writable && !(file.resize(0) && file.seek(0))) {
        writable = false;
        file.remove();
    }
    const bool noted = writable && total >= ResumableBytes && !validator.isEmpty() &&
                       writeValidator(validatorPath, validator);
    validatorText = noted ? validator : QByteArray();
}

void DownloadSink::takeWholeFile(const QByteArray &validator)
{
    startOver(validator);
    settled = true;
}

void DownloadSink::takeRest()
{
    settled = true;
}

void DownloadSink::dropEarlierBytes()
{
    startOver(QByteArray());
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

bool DownloadSink::matches(const FileEntry &entry)
{
    return md5Text() == entry.md5 && (entry.sha256.isEmpty() || sha256Text() == entry.sha256);
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
    if (placed) {
        QFile::remove(validatorPath);
    }
    return placed;
}

void DownloadSink::discard()
{
    discarded = true;
    file.remove();
    QFile::remove(validatorPath);
}

void DownloadSink::removeLeftovers(const QDir &cacheDir, const QList<FileEntry> &entries)
{
    QSet<QString> copies;
    for (const FileEntry &entry : entries) {
        const QString name = copyName(entry);
        copies << name << name + ValidatorSuffix;
    }
    const QStringList names =
        cacheDir.entryList(QStringList{NamePrefix + QLatin1Char('*')},
                           QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString &name : names) {
        const QFileInfo info(cacheDir.filePath(name));
        if (!copies.contains(name) || isLink(info) || !info.isFile()) {
            removeTree(info.filePath());
        }
    }
}
