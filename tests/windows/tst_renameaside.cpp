#include "CDownloadThread.h"
#include "Md5Text.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCodec>

#include <algorithm>
#include <memory>

namespace {

// Every entry already waits, verified, in the cache, so this address is never contacted.
const QString UnusedServer = QStringLiteral("http://127.0.0.1:1/");

const QFile::Permissions ReadOnly =
    QFile::ReadOwner | QFile::ReadUser | QFile::ReadGroup | QFile::ReadOther;

bool writeFile(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(content) == content.size();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

QString localEncodingName()
{
    return QString::fromLatin1(QTextCodec::codecForLocale()->name());
}

// Qt's Windows codec answers canEncode() with true for every text, so ask for a round trip.
bool localEncodingHolds(const QString &name)
{
    const QTextCodec *codec = QTextCodec::codecForLocale();
    return codec->toUnicode(codec->fromUnicode(name)) == name;
}

} // namespace

// Installed files are moved aside with the C runtime's rename, which takes names in the local
// 8-bit encoding (on Windows its wide twin, which takes full Unicode names), while Qt opens and
// removes files by their Unicode names. Both must name the same file, or an update fails or
// loses the old copy.
class tst_RenameAside : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void localNamesAreMovedAside_data();
    void localNamesAreMovedAside();
    void nameOutsideTheCodePageIsMovedAside();
    void readOnlyOldCopyIsReplaced();

private:
    // Installs `content` at `path` through a worker, as the update run does.
    bool install(const QString &path, const QByteArray &content, QString &message);
    // Installs `path` over an installed copy twice; each time the previous content goes aside.
    void updateTwice(const QString &path);
    QString installed(const QString &path) const { return installDir.filePath(path); }

    std::unique_ptr<QTemporaryDir> root;
    QDir cacheDir;
    QDir installDir;
};

void tst_RenameAside::init()
{
    root = std::make_unique<QTemporaryDir>();
    QVERIFY2(root->isValid(), qPrintable(root->errorString()));
    cacheDir.setPath(root->filePath(QStringLiteral("cache")));
    installDir.setPath(root->filePath(QStringLiteral("install")));
    QVERIFY(QDir().mkpath(cacheDir.path()));
    QVERIFY(QDir().mkpath(installDir.path()));
}

void tst_RenameAside::cleanup()
{
    root.reset();
}

bool tst_RenameAside::install(const QString &path, const QByteArray &content, QString &message)
{
    if (!writeFile(cacheDir.filePath(path), content)) {
        message = QStringLiteral("cannot write the cached file");
        return false;
    }
    FileEntry entry;
    entry.path = path;
    entry.size = quint64(content.size());
    entry.md5 = md5Text(content);
    CDownloadThread worker(UnusedServer, cacheDir, installDir, {entry}, nullptr);
    QSignalSpy finished(&worker, &QThread::finished);
    worker.start();
    if (!QTest::qWaitFor([&finished] { return !finished.isEmpty(); }, 20000)) {
        message = QStringLiteral("the worker's thread did not finish");
        return false;
    }
    message = worker.errorMessage();
    return worker.isSuccess();
}

void tst_RenameAside::localNamesAreMovedAside_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("Latin-1 letters") << QStringLiteral("café/Résumé.txt");
    QTest::newRow("Chinese") << QStringLiteral("数据/中文说明.dll");
    QTest::newRow("Japanese") << QStringLiteral("設定/ファイル.ini");
    QTest::newRow("Cyrillic") << QStringLiteral("данные/файл.bin");
    QTest::newRow("spaces and symbols") << QStringLiteral("Program Files (x86)/a & b, c.txt");
}

void tst_RenameAside::localNamesAreMovedAside()
{
    QFETCH(QString, path);
    if (!localEncodingHolds(path)) {
        QSKIP(qPrintable(QStringLiteral("the local 8-bit encoding (%1) cannot hold this name")
                             .arg(localEncodingName())));
    }
    updateTwice(path);
}

void tst_RenameAside::nameOutsideTheCodePageIsMovedAside()
{
#ifndef Q_OS_WIN
    QSKIP("only Windows names files beyond the local 8-bit encoding");
#else
    const QStringList candidates{QStringLiteral("中文.dll"), QStringLiteral("한국어.dll"),
                                 QStringLiteral("\U0001F600.dll")};
    const auto outside =
        std::find_if(candidates.cbegin(), candidates.cend(),
                     [](const QString &name) { return !localEncodingHolds(name); });
    if (outside == candidates.cend()) {
        QSKIP(qPrintable(QStringLiteral("the ANSI code page (%1) holds every candidate name")
                             .arg(localEncodingName())));
    }
    updateTwice(QStringLiteral("数据/") + *outside);
#endif
}

void tst_RenameAside::updateTwice(const QString &path)
{
    QVERIFY(writeFile(installed(path), "v1"));

    QString message;
    QVERIFY2(install(path, "v2", message), qPrintable(message));
    QCOMPARE(readFile(installed(path)), QByteArray("v2"));
    QCOMPARE(readFile(installed(path + ".old")), QByteArray("v1"));
    QVERIFY2(!QFileInfo::exists(cacheDir.filePath(path)), "the download was left in the cache");

    // The earlier old copy is removed by its Unicode name before the rename takes its place.
    QVERIFY2(install(path, "v3", message), qPrintable(message));
    QCOMPARE(readFile(installed(path)), QByteArray("v3"));
    QCOMPARE(readFile(installed(path + ".old")), QByteArray("v2"));
}

void tst_RenameAside::readOnlyOldCopyIsReplaced()
{
    // A file installed read-only keeps that attribute when it is moved aside; Windows refuses
    // to delete such a file, and the next update has to remove the old copy first.
    const QString path = QStringLiteral("bin/app.dll");
    QVERIFY(writeFile(installed(path), "v1"));
    QVERIFY(QFile::setPermissions(installed(path), ReadOnly));

    QString message;
    QVERIFY2(install(path, "v2", message), qPrintable(message));
    QCOMPARE(readFile(installed(path + ".old")), QByteArray("v1"));

    QVERIFY2(install(path, "v3", message), qPrintable(message));
    QCOMPARE(readFile(installed(path)), QByteArray("v3"));
    QCOMPARE(readFile(installed(path + ".old")), QByteArray("v2"));
}

QTEST_GUILESS_MAIN(tst_RenameAside)
#include "tst_renameaside.moc"
