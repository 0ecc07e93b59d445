#include "Configuration.h"
#include "Directories.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

// In Qt's INI format a backslash starts an escape, so a path written with backslashes needs
// each of them doubled.
QByteArray iniEscaped(const QString &value)
{
    return value.toUtf8().replace("\\", "\\\\");
}

QString expandedPath(QString pattern, const QDir &appDir)
{
    pattern.replace(QLatin1String("@APP@"), appDir.absolutePath());
    pattern.replace(QLatin1String("@CWD@"), QDir::currentPath());
    return QFileInfo(pattern).absoluteFilePath();
}

} // namespace

// Values of system.cfg as a Windows installer writes them: drive letters, backslashes, shares.
// Windows takes them as absolute places; elsewhere they are plain relative names, which keeps
// the Linux build from ever writing to an odd absolute place.
class tst_ConfigPaths : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void exeName_data();
    void exeName();
    void cache_data();
    void cache();
    void nativeSeparatorsCreateTheCache();

private:
    void writeConfig(const QByteArray &lines);

    std::unique_ptr<QTemporaryDir> dir;
    QDir appDir;
};

void tst_ConfigPaths::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY2(dir->isValid(), qPrintable(dir->errorString()));
    appDir.setPath(dir->path());
}

void tst_ConfigPaths::cleanup()
{
    dir.reset();
}

void tst_ConfigPaths::writeConfig(const QByteArray &lines)
{
    QFile file(appDir.filePath(QStringLiteral("system.cfg")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    QVERIFY(file.write("[Update]\n" + lines + "\n") > 0);
}

void tst_ConfigPaths::exeName_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QString>("onWindows");
    QTest::addColumn<QString>("elsewhere");

    QTest::newRow("drive letter") << QByteArray("C:/Vendor/App/App.exe") << "C:/Vendor/App/App.exe"
                                  << "@APP@/C:/Vendor/App/App.exe";
    QTest::newRow("drive letter, backslashes")
        << iniEscaped("C:\\Vendor\\App.exe") << "C:/Vendor/App.exe"
        << "@APP@/C:\\Vendor\\App.exe";
    QTest::newRow("folder above, backslash") << iniEscaped("..\\App.exe") << "@APP@/../App.exe"
                                             << "@APP@/..\\App.exe";
    QTest::newRow("network share")
        << iniEscaped("\\\\server\\share\\App.exe") << "//server/share/App.exe"
        << "@APP@/\\\\server\\share\\App.exe";
}

void tst_ConfigPaths::exeName()
{
    QFETCH(QByteArray, value);
    QFETCH(QString, onWindows);
    QFETCH(QString, elsewhere);
    writeConfig("ExeName=" + value);

    const Configuration config = readConfiguration(appDir);
#ifdef Q_OS_WIN
    const QString expected = expandedPath(onWindows, appDir);
#else
    const QString expected = expandedPath(elsewhere, appDir);
#endif
    QCOMPARE(QFileInfo(config.exePath).absoluteFilePath(), expected);
}

void tst_ConfigPaths::cache_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QString>("onWindows");
    QTest::addColumn<QString>("elsewhere");

    QTest::newRow("drive letter") << QByteArray("C:/ProgramData/Vendor/cache")
                                  << "C:/ProgramData/Vendor/cache"
                                  << "@CWD@/C:/ProgramData/Vendor/cache";
    QTest::newRow("drive letter, backslashes")
        << iniEscaped("C:\\ProgramData\\Vendor\\cache") << "C:/ProgramData/Vendor/cache"
        << "@CWD@/C:\\ProgramData\\Vendor\\cache";
    QTest::newRow("network share")
        << iniEscaped("\\\\server\\share\\cache") << "//server/share/cache"
        << "@CWD@/\\\\server\\share\\cache";
}

void tst_ConfigPaths::cache()
{
    QFETCH(QByteArray, value);
    QFETCH(QString, onWindows);
    QFETCH(QString, elsewhere);
    writeConfig("Cache=" + value);

    const Configuration config = readConfiguration(appDir);
#ifdef Q_OS_WIN
    QVERIFY2(config.cacheDir.isAbsolute(), qPrintable(config.cacheDir.path()));
    const QString expected = expandedPath(onWindows, appDir);
#else
    // A relative value is resolved against the working directory, here as on Windows.
    QVERIFY2(config.cacheDir.isRelative(), qPrintable(config.cacheDir.path()));
    const QString expected = expandedPath(elsewhere, appDir);
#endif
    QCOMPARE(QFileInfo(config.cacheDir.absolutePath()).absoluteFilePath(), expected);
}

void tst_ConfigPaths::nativeSeparatorsCreateTheCache()
{
    const QString cache = appDir.filePath(QStringLiteral("data/update cache"));
    writeConfig("Cache=" + iniEscaped(QDir::toNativeSeparators(cache)));

    Configuration config = readConfiguration(appDir);
    ensureDirectory(config.cacheDir);

    QVERIFY2(QFileInfo(cache).isDir(), qPrintable(cache));
    QCOMPARE(config.cacheDir.absolutePath(), cache);
}

QTEST_GUILESS_MAIN(tst_ConfigPaths)
#include "tst_configpaths.moc"
