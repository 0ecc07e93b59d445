#include "CDownloadThread.h"
#include "Md5Text.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCodec>

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

} // namespace

// Installed files are moved aside with the C runtime's rename, which takes names in the local
// 8-bit encoding (the ANSI code page on Windows), while Qt opens and removes files by their
// full Unicode names. Both must name the same file, or an update fails or loses the old copy.
class tst_RenameAside : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void localNamesAreMovedAside_data();
    void localNamesAreMovedAside();
    void nameOutsideTheCodePageStaysInPlace();
    void readOnlyOldCopyIsReplaced();

private:
    // Installs `content` at `path` through a worker, as the update run does.
    bool install(const QString &path, const QByteArray &content, QString &message);
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
    if (!QTextCodec::codecForLocale()->canEncode(path)) {
        QSKIP(qPrintable(QStringLiteral("the local 8-bit encoding (%1) cannot hold this name")
                             .arg(localEncodingName())));
    }
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

void tst_RenameAside::nameOutsideTheCodePageStaysInPlace()
{
#ifndef Q_OS_WIN
    QSKIP("only Windows names files apart from the local 8-bit encoding");
#else
    const QStringList candidates{QStringLiteral("中文.dll"), QStringLiteral("한국어.dll"),
                                 QStringLiteral("\U0001F600.dll")};
    QString path;
    for (const QString &candidate : candidates) {
        if (!QTextCodec::codecForLocale()->canEncode(candidate)) {
            path = candidate;
            break;
        }
    }
    if (path.isEmpty()) {
        QSKIP(qPrintable(QStringLiteral("the ANSI code page (%1) holds every candidate name")
                             .arg(localEncodingName())));
    }
    QVERIFY(writeFile(installed(path), "v1"));

    QString message;
    QVERIFY2(!install(path, "v2", message), "a name the ANSI code page cannot hold was moved");
    const QString from = QFileInfo(installed(path)).absoluteFilePath();
    QCOMPARE(message, QStringLiteral("重命名%1为%2失败").arg(from, from + QStringLiteral(".old")));
    // Nothing is lost: the installed file is untouched and the download waits for a retry.
    QCOMPARE(readFile(installed(path)), QByteArray("v1"));
    QVERIFY(!QFileInfo::exists(installed(path + ".old")));
    QCOMPARE(readFile(cacheDir.filePath(path)), QByteArray("v2"));
#endif
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
