#include "Configuration.h"
#include "Directories.h"
#include "RunMode.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

Q_DECLARE_METATYPE(RunMode)

namespace {

// Byte literals that may hold NUL bytes.
template<int N>
QByteArray raw(const char (&bytes)[N])
{
    return QByteArray(bytes, N - 1);
}

} // namespace

class tst_Startup : public QObject
{
    Q_OBJECT

private slots:
    void runMode_data();
    void runMode();
    void configurationDefaults();
    void configurationValues_data();
    void configurationValues();
    void unreadableConfigurationGivesDefaults_data();
    void unreadableConfigurationGivesDefaults();
    void installRoot_data();
    void installRoot();
    void relativeCacheFollowsWorkingDirectory();
    void missingLevelsAreCreated();

private:
    static void writeConfig(const QDir &dir, const QByteArray &bytes)
    {
        QFile file(dir.filePath(QStringLiteral("system.cfg")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
};

void tst_Startup::runMode_data()
{
    QTest::addColumn<QString>("argument");
    QTest::addColumn<RunMode>("mode");
    QTest::newRow("none") << QString() << RunMode::Interactive;
    QTest::newRow("console") << "console" << RunMode::Console;
    QTest::newRow("CONSOLE") << "CONSOLE" << RunMode::Console;
    QTest::newRow("CoNsOlE") << "CoNsOlE" << RunMode::Console;
    QTest::newRow("restart") << "restart" << RunMode::Restart;
    QTest::newRow("Restart") << "Restart" << RunMode::Restart;
    QTest::newRow("console with blank") << "console " << RunMode::Interactive;
    QTest::newRow("prefix") << "cons" << RunMode::Interactive;
    QTest::newRow("other word") << "no_check" << RunMode::Interactive;
}

void tst_Startup::runMode()
{
    QFETCH(QString, argument);
    QFETCH(RunMode, mode);
    QCOMPARE(runModeFromArgument(argument), mode);
}

void tst_Startup::configurationDefaults()
{
    QTemporaryDir dir;
    const QDir appDir(dir.path());
    const Configuration config = readConfiguration(appDir);
    QCOMPARE(config.serverUrl, QString());
    QCOMPARE(config.downloadUrl, QString());
    QCOMPARE(config.exePath, appDir.filePath(QStringLiteral("Host.exe")));
#ifdef Q_OS_WIN
    QCOMPARE(config.cacheDir.path(), appDir.filePath(QStringLiteral("update")));
#else
    // The executable is called "update" here, so the cache cannot share its name.
    QCOMPARE(config.cacheDir.path(), appDir.filePath(QStringLiteral("update.cache")));
#endif
}

void tst_Startup::configurationValues_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<QString>("serverUrl");
    QTest::addColumn<QString>("downloadUrl");
    QTest::addColumn<QString>("cache");
    QTest::addColumn<QString>("exeRelativeToAppDir"); // empty: compare with exeAbsolute
    QTest::addColumn<QString>("exeAbsolute");

    QTest::newRow("all keys") << QByteArray("[Update]\nURL=http://127.0.0.1:1/srv/\n"
                                            "DownLoadUrl=http://127.0.0.1:1/page\n"
                                            "Cache=/var/tmp/upd-cache\nExeName=app/Host.exe\n")
                              << "http://127.0.0.1:1/srv/"
                              << "http://127.0.0.1:1/page"
                              << "/var/tmp/upd-cache"
                              << "app/Host.exe" << QString();
    QTest::newRow("absolute ExeName kept")
        << QByteArray("[Update]\nExeName=/opt/host/run\n") << QString() << QString() << QString()
        << QString() << "/opt/host/run";
    QTest::newRow("relative Cache kept relative")
        << QByteArray("[Update]\nCache=cache/here\n") << QString() << QString() << "cache/here"
        << "Host.exe" << QString();
    QTest::newRow("keys outside [Update] ignored")
        << QByteArray("[Other]\nURL=http://127.0.0.1:1/\nExeName=x\n") << QString() << QString()
        << QString() << "Host.exe" << QString();
    QTest::newRow("non-ASCII through INI escapes")
        << QByteArray("[Update]\nExeName=\"\\x4e2d\\x6587.exe\"\n") << QString() << QString()
        << QString() << QString::fromUtf8("中文.exe") << QString();
    QTest::newRow("garbage around a key")
        << raw("\x00\xff\xfe[[[\n\x01\x02=\x03\n[Update]\nURL=http://127.0.0.1:2/\n\xff")
        << "http://127.0.0.1:2/" << QString() << QString() << "Host.exe" << QString();
}

void tst_Startup::configurationValues()
{
    QFETCH(QByteArray, ini);
    QFETCH(QString, serverUrl);
    QFETCH(QString, downloadUrl);
    QFETCH(QString, cache);
    QFETCH(QString, exeRelativeToAppDir);
    QFETCH(QString, exeAbsolute);

    QTemporaryDir dir;
    const QDir appDir(dir.path());
    writeConfig(appDir, ini);
    const Configuration config = readConfiguration(appDir);
    QCOMPARE(config.serverUrl, serverUrl);
    QCOMPARE(config.downloadUrl, downloadUrl);
    if (!cache.isEmpty())
        QCOMPARE(config.cacheDir.path(), cache);
    QCOMPARE(config.exePath,
             exeAbsolute.isEmpty() ? appDir.filePath(exeRelativeToAppDir) : exeAbsolute);
}

void tst_Startup::unreadableConfigurationGivesDefaults_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("empty file") << "empty";
    QTest::newRow("directory in its place") << "directory";
    QTest::newRow("binary garbage") << "garbage";
}

void tst_Startup::unreadableConfigurationGivesDefaults()
{
    QFETCH(QString, kind);
    QTemporaryDir dir;
    const QDir appDir(dir.path());
    if (kind == QLatin1String("directory")) {
        QVERIFY(appDir.mkdir(QStringLiteral("system.cfg")));
    } else if (kind == QLatin1String("garbage")) {
        QByteArray garbage;
        for (int i = 0; i < 4096; ++i)
            garbage.append(char((i * 7919) % 256));
        writeConfig(appDir, garbage);
    } else {
        writeConfig(appDir, QByteArray());
    }
    const Configuration config = readConfiguration(appDir);
    QCOMPARE(config.serverUrl, QString());
    QCOMPARE(config.exePath, appDir.filePath(QStringLiteral("Host.exe")));
}

void tst_Startup::installRoot_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<bool>("movesUp");
    QTest::newRow("bin") << "App/bin" << true;
    QTest::newRow("BIN") << "App/BIN" << true;
    QTest::newRow("Bin") << "App/Bin" << true;
    QTest::newRow("not bin") << "App/binary" << false;
    QTest::newRow("plain") << "App" << false;
}

void tst_Startup::installRoot()
{
    QFETCH(QString, folder);
    QFETCH(bool, movesUp);
    QTemporaryDir dir;
    QDir appDir(QDir(dir.path()).filePath(folder));
    ensureDirectory(appDir);
    const QDir root = installRootFor(appDir);
    const QString expected =
        movesUp ? QFileInfo(appDir.absolutePath()).absolutePath() : appDir.absolutePath();
    QCOMPARE(root.absolutePath(), expected);

    // ExeName and the default cache stay beside the updater, not in the root.
    const Configuration config = readConfiguration(appDir);
    QCOMPARE(QFileInfo(config.exePath).absolutePath(), appDir.absolutePath());
    QCOMPARE(QFileInfo(config.cacheDir.path()).absolutePath(), appDir.absolutePath());
}

void tst_Startup::relativeCacheFollowsWorkingDirectory()
{
    QTemporaryDir dir;
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir.path()));
    QDir cache(QStringLiteral("rel/cache"));
    ensureDirectory(cache);
    QDir::setCurrent(previous);

    QVERIFY(cache.isAbsolute());
    QCOMPARE(cache.path(), QDir(dir.path()).filePath(QStringLiteral("rel/cache")));
    QVERIFY(QFileInfo(cache.path()).isDir());
}

void tst_Startup::missingLevelsAreCreated()
{
    QTemporaryDir dir;
    const QString path = QDir(dir.path()).filePath(QStringLiteral("a/b/c/d"));
    QDir cache(path);
    ensureDirectory(cache);
    QVERIFY(QFileInfo(path).isDir());
    QCOMPARE(cache.path(), path);

    // An existing directory is left as it is; a file in the way is not an error here.
    ensureDirectory(cache);
    QVERIFY(QFileInfo(path).isDir());
    const QString blocked = QDir(dir.path()).filePath(QStringLiteral("file"));
    QFile file(blocked);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    QDir underFile(blocked + QStringLiteral("/sub"));
    ensureDirectory(underFile);
    QVERIFY(!QFileInfo(underFile.path()).exists());
}

QTEST_GUILESS_MAIN(tst_Startup)
#include "tst_startup.moc"
